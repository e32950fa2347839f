// The native build has no network: the portable core runs there in tests and
// tools, which give it their own link when they need a server.
#include <memory>
#include <thread>

#include "net/ostrane_exception.h"
#include "net/server_link.h"

namespace ostrane {
namespace {

class OfflineServerLink : public ServerLink {
 public:
  bool PostJson(const std::wstring&, const std::string&, HeaderList, std::string&, std::uint32_t&) override {
    throw OstraneException();
  }
  void Pause(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

}  // namespace

std::shared_ptr<ServerLink> DefaultServerLink() {
  static const auto* link = new std::shared_ptr<ServerLink>(std::make_shared<OfflineServerLink>());
  return *link;
}

}  // namespace ostrane

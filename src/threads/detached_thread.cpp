#include "threads/detached_thread.h"

#include <pthread.h>

#include <memory>
#include <system_error>

namespace ostrane {
namespace {

void* RunWork(void* argument) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(argument));
  (*work)();
  return nullptr;
}

}  // namespace

void StartDetachedThread(std::function<void()> work) {
  pthread_attr_t attributes;
  if (const int error = ::pthread_attr_init(&attributes); error != 0)
    throw std::system_error(error, std::generic_category(), "pthread_attr_init");
  ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  pthread_t thread;
  const int error = ::pthread_create(&thread, &attributes, &RunWork, owned.get());
  ::pthread_attr_destroy(&attributes);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
  owned.release();  // the thread owns it now
}

}  // namespace ostrane

// The offer picture, fetched in the background from the campaign server's file path.
#include "campaign/package.h"
#include "download/download_manager.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"
#include "winui/gdiplus_image.h"

namespace ostrane {

void Package::DownloadImage(std::function<void(std::shared_ptr<Gdiplus::Bitmap>)> done) {
  const std::wstring url = ConfigurationManager::Instance()->m_fileBaseUrl + AnsiToWide(m_id);
  // The fetch keeps the package alive: the wizard may drop it before the picture comes.
  DownloadManager::Instance()->FetchAsync(url, [self = shared_from_this(), done = std::move(done)](ByteBuffer data) {
    // Null (quitting) or empty (failed): no picture, and done all the same.
    std::shared_ptr<Gdiplus::Bitmap> picture;
    if (data && !data->empty()) picture = win::LoadImageFromBytes(data->data(), data->size());
    if (done) done(std::move(picture));
  });
}

}  // namespace ostrane

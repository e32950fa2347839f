// The wizard's own window messages. All are posted, never sent.
#pragma once

#include <windows.h>

namespace ostrane {

// Download progress: wParam = percent 0-100 (above 100: marquee), lParam 0.
// Same value as DM_SETDEFID, so only download pages receive it.
constexpr UINT WM_DOWNLOAD_PROGRESS = WM_USER + 1;
// The size of a download cannot be told: the progress bar goes to marquee.
constexpr UINT WM_DOWNLOAD_NO_SIZE = WM_USER + 2;
// The campaign is loaded and the offer list stored (to the wizard window).
constexpr UINT WM_LOAD_COMPLETE = WM_USER + 3;
// The loading page's worker has finished (to the loading page).
constexpr UINT WM_REQUEST_COMPLETE = WM_USER + 4;

}  // namespace ostrane

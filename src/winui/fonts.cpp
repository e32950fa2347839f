#include "winui/fonts.h"

#include "winui/dpi.h"

namespace ostrane::win {

UniqueFont ApplyDerivedFont(HWND control, LONG heightAt96, LONG weight) {
  auto current = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW description{};
  if (current == nullptr || ::GetObjectW(current, sizeof description, &description) == 0) {
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
  }
  description.lfHeight = ScaleForDpi(control, heightAt96);
  description.lfWeight = weight;
  UniqueFont font(::CreateFontIndirectW(&description));
  if (font) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  return font;
}

}  // namespace ostrane::win

// Images embedded in the installer's resources, decoded with GDI+.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <thread>

#include "winui/static_from_image.h"
#include "winui/gdiplus_image.h"
#include "locale/win32_locale_platform.h"

namespace ostrane {
namespace {

using win::LoadImageFromBytes;
using win::LoadImageResource;

class LoadImageResourceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gdiplus_.started()); }
  win::GdiplusSession gdiplus_;
};

TEST_F(LoadImageResourceTest, DecodesEachEmbeddedImageAtItsSize) {
  const struct {
    int id;
    const wchar_t* type;
    UINT size;
  } cases[] = {{101, L"IMAGE_BLOB", 256}, {102, L"IMAGE_BLOB2", 512}, {103, L"IMAGE_BLOB3", 512}};
  for (const auto& c : cases) {
    auto image = LoadImageResource(::GetModuleHandleW(nullptr), c.id, c.type);
    ASSERT_NE(image, nullptr) << c.id;
    EXPECT_EQ(image->GetWidth(), c.size);
    EXPECT_EQ(image->GetHeight(), c.size);
  }
}

TEST_F(LoadImageResourceTest, MissingResourceOrNonImageGivesNothing) {
  EXPECT_EQ(LoadImageResource(::GetModuleHandleW(nullptr), 999, L"IMAGE_BLOB"), nullptr);
  EXPECT_EQ(LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB3"), nullptr);  // wrong type
  const char notAnImage[] = "these bytes are no PNG";
  EXPECT_EQ(LoadImageFromBytes(notAnImage, sizeof notAnImage), nullptr);
  EXPECT_EQ(LoadImageFromBytes(nullptr, 0), nullptr);
}

// A picture that arrives on a download thread may outlive GDI+: the wizard can end
// while the fetch runs.
TEST(GdiplusSessionTest, ImagesNeitherDecodeNorCrashAfterShutdown) {
  std::shared_ptr<Gdiplus::Bitmap> kept;
  {
    win::GdiplusSession session;
    ASSERT_TRUE(session.started());
    kept = LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB");
    ASSERT_NE(kept, nullptr);
  }
  EXPECT_EQ(LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB"), nullptr);
  kept.reset();  // must not call into GDI+ any more
  win::GdiplusSession again;
  EXPECT_NE(LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB"), nullptr);
}

// The wizard lets GDI+ start with its first picture. Pictures arrive on download
// threads, so the first image may start it from any thread; once the wizard's
// allowance is gone, images stay empty and late releases do nothing.
TEST(GdiplusOnDemandTest, StartsWithTheFirstImageFromAnyThreadAndEndsWithTheAllowance) {
  EXPECT_EQ(LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB"), nullptr);  // nothing runs yet
  std::shared_ptr<Gdiplus::Bitmap> kept;
  {
    win::GdiplusOnDemand allowance;
    std::thread fetch([&kept] { kept = LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB"); });
    fetch.join();
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->GetWidth(), 256u);
    EXPECT_NE(LoadImageResource(::GetModuleHandleW(nullptr), 102, L"IMAGE_BLOB2"), nullptr);
  }
  EXPECT_EQ(LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB"), nullptr);
  kept.reset();  // must not call into GDI+ any more
  win::GdiplusOnDemand again;
  win::StartGdiplusOnDemand();
  EXPECT_NE(LoadImageResource(::GetModuleHandleW(nullptr), 101, L"IMAGE_BLOB"), nullptr);
}

TEST(Win32LocalePlatformTest, FindsEmbeddedTablesAndNamesLanguages) {
  Win32LocalePlatform platform;
  const LocaleResource english = platform.FindLocaleResource(101);
  ASSERT_EQ(english.status, LocaleResource::Status::Found);
  EXPECT_NE(english.bytes.find("<Locale name=\"en_US\">"), std::string::npos);
  EXPECT_EQ(platform.FindLocaleResource(119).status, LocaleResource::Status::NotFound);
  EXPECT_EQ(platform.NativeLanguageName(L"es"), L"espa\u00f1ol");
  EXPECT_EQ(platform.NativeLanguageName(L"not-a-locale"), std::nullopt);
}

}  // namespace
}  // namespace ostrane

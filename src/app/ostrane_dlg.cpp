#include "app/ostrane_dlg.h"

#include "app/about_dlg.h"
#include "app/setup_log_start.h"
#include "download/folder_tree.h"
#include "campaign/package.h"
#include "download/download_manager.h"
#include "log/setup_log.h"
#include "net/request_context.h"
#include "system/text_convert.h"
#include "pages/download_page.h"
#include "pages/error_page.h"
#include "pages/finish_page.h"
#include "pages/language_page.h"
#include "pages/license_page_isv.h"
#include "pages/loading_page.h"
#include "pages/options_pages.h"
#include "pages/product_page.h"
#include "pages/warning_page_ql_classic.h"
#include "pages/welcome_page_isv.h"
#include "res/resource.h"
#include "settings/wizard_type.h"
#include "winui/message_box.h"
#include "winui/window_messages.h"

namespace ostrane {

COstraneDlg::COstraneDlg()
    : Dialog(IDD_OSTRANE_DIALOG),
      languages_(std::make_shared<LanguageManager>(localePlatform_, ConfigurationManager::Instance())) {
  icon_ = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

COstraneDlg::~COstraneDlg() {
  {
    std::lock_guard lock(handOver_->mutex);
    handOver_->window = nullptr;
    handOver_->loaded = {};
  }
  // GDI+ images must go before GDI+ itself shuts down at process exit.
  auto settings = ConfigurationManager::Instance();
  settings->m_logoImage.reset();
  headerImage_.SetImage(nullptr);
  const PackageList* holders[] = {&offerFlow_.offers(), &settings->m_acceptedPackages, &settings->m_shownPackages};
  for (const PackageList* list : holders)
    for (const auto& package : *list) package->m_image.reset();
  if (settings->m_mainPackage) settings->m_mainPackage->m_image.reset();
}

bool COstraneDlg::OnInitDialog() {
  if (HMENU systemMenu = ::GetSystemMenu(hwnd(), FALSE)) {
    wchar_t about[128] = {};
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0) {
      ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  if (!PassesStartChecks()) return false;
  SetUpWindow();
  return true;
}

bool COstraneDlg::PassesStartChecks() {
  const std::wstring mutexName =
      L"Global\\Ostrane" + Utf8ToWide(CompiledBuildOptions().wizardTypeName) + L"SingleInstanceMutex";
  singleInstanceMutex_.reset(::CreateMutexW(nullptr, TRUE, mutexName.c_str()));
  if (singleInstanceMutex_ && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    singleInstanceMutex_.reset();
    DiscardSetupLog();  // the running one keeps its own
    // The settings made an empty work folder for this instance, which never runs.
    const std::wstring folder = ConfigurationManager::Instance()->m_workFolder;
    if (!folder.empty()) ::RemoveDirectoryW(folder.c_str());
    win::MessageBoxFor(hwnd(), L"Another setup is already running, please close it and try again", L"Error",
                       MB_ICONERROR | MB_SYSTEMMODAL);
    EndDialog(1);
    return false;
  }
  // Without a mutex the wizard runs unguarded.
  OpenSetupLog(*ConfigurationManager::Instance());

  const int wizardType = ConfigurationManager::Instance()->m_wizardType;
  if (wizardType != kWizardDlm && wizardType != kWizardIsv) {
    log::LogLine("start", "invalid wizard type: the installer ends");
    win::AppMessageBox(L"Invalid wizard type", MB_ICONERROR | MB_SYSTEMMODAL);
    EndDialog(1);
    return false;
  }
  return true;
}

void COstraneDlg::SetUpWindow() {
  auto settings = ConfigurationManager::Instance();
  const std::wstring caption = settings->m_wizardType == kWizardDlm ? L"Setup" : settings->m_productName + L" ";
  ::SetWindowTextW(hwnd(), caption.c_str());
  bandBrush_.reset(::CreateSolidBrush(settings->m_accentColour));
  SetItemText(IDC_TITLE_TEXT, settings->m_productName);
  headerImage_.Attach(Item(IDC_HEADER_IMAGE));  // the DLM logo, once the campaign names it

  CreateInitialPages();

  if (settings->m_wizardType == kWizardIsv) {
    ::ShowWindow(Item(IDC_HEADER_IMAGE), SW_HIDE);
    ::ShowWindow(Item(IDC_HEADER_LINE), SW_HIDE);
  }
  ::ShowWindow(Item(IDC_TITLE_TEXT), SW_HIDE);
  LogSettings(*settings);
}

RECT COstraneDlg::PlaceholderRect() const {
  RECT rect{};
  ::GetWindowRect(Item(IDC_PAGE_PLACEHOLDER), &rect);
  ::MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool COstraneDlg::CreateInitialPages() {
  const RECT placeholder = PlaceholderRect();
  // The error page is made when a failure first needs it: the first page shows sooner.

  if (ConfigurationManager::Instance()->m_qlFlavour) {
    CreateAndAddPage(std::make_unique<LanguagePageQL>(languages_), placeholder);
  } else {
    CreateAndAddPage(std::make_unique<LanguagePage>(languages_), placeholder);
  }
  CreateAndAddPage(std::make_unique<LoadingPage>(languages_), placeholder);
  if (auto* loading = dynamic_cast<LoadingPage*>(pages_.back().get())) {
    {
      std::lock_guard lock(handOver_->mutex);
      handOver_->window = hwnd();
    }
    // May run on a worker thread, after the wizard has gone: store the list and post,
    // nothing else, and only while the window is there.
    loading->m_onPackagesReady = [handOver = handOver_](LoadedOffers loaded) {
      std::lock_guard lock(handOver->mutex);
      if (handOver->window == nullptr) return;
      handOver->loaded = std::move(loaded);
      ::PostMessageW(handOver->window, WM_LOAD_COMPLETE, 0, 0);
    };
  }

  flow_.NavigateTo(0);
  if (pages_.empty()) return false;
  AlignBottomBand(pages_[0]->hwnd());
  ::ShowWindow(pages_[0]->hwnd(), SW_SHOW);
  ::SetFocus(pages_[0]->hwnd());
  return true;
}

void COstraneDlg::AlignBottomBand(HWND page) {
  // Our band shows beside and below the pages and must meet their own band. Both
  // tops come from dialog units rounded on different paths, a pixel apart at some
  // DPIs (200 %); every page has its band at the same place.
  HWND band = Item(IDC_BOTTOM_BAND);
  RECT pageBand{};
  RECT ours{};
  if (!::GetWindowRect(::GetDlgItem(page, IDC_PAGE_BAND), &pageBand) || !::GetWindowRect(band, &ours)) return;
  ::MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&pageBand), 2);
  ::MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&ours), 2);
  ::SetWindowPos(band, nullptr, ours.left, pageBand.top, ours.right - ours.left, ours.bottom - pageBand.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

bool COstraneDlg::CreatePage(IPage& page, const RECT& placeholder) {
  page.SetBackgroundColour(ConfigurationManager::Instance()->m_backgroundColour);
  if (!page.Create(hwnd())) {
    win::AppMessageBox(L"Failed to create the page " + page.GetPageName(), MB_ICONERROR);
    return false;
  }
  page.SetButtonHandler([this](ButtonType button) { OnButton(button); });
  // Child windows are created at the bottom of the Z order; the page goes on top of
  // the placeholder frame it covers, or the frame's background would paint over it.
  ::SetWindowPos(page.hwnd(), HWND_TOP, placeholder.left, placeholder.top, placeholder.right - placeholder.left,
                 placeholder.bottom - placeholder.top, SWP_NOACTIVATE | SWP_HIDEWINDOW);
  return true;
}

void COstraneDlg::CreateAndAddPage(std::unique_ptr<IPage> page, const RECT& placeholder) {
  if (!CreatePage(*page, placeholder)) return;
  page->SetErrorHandler([this](const std::wstring& title, const std::wstring& text) { ShowErrorPage(title, text); });
  pages_.push_back(std::move(page));
  flow_.SetPageCount(pages_.size());
}

namespace {

const char* ButtonName(ButtonType button) {
  switch (button) {
    case ButtonType::Next: return "Next";
    case ButtonType::Accept: return "Accept";
    case ButtonType::Close: return "Close";
    case ButtonType::Decline: return "Decline";
    case ButtonType::Finish: return "Finish";
    case ButtonType::Back: return "Back";
    case ButtonType::SkipAll: return "Skip All";
  }
  return "?";
}

}  // namespace

void COstraneDlg::OnButton(ButtonType button) {
  const IPage* current = flow_.IsValidIndex(flow_.current()) ? pages_[flow_.current()].get() : nullptr;
  log::LogLine("button", std::string(ButtonName(button)) +
                             (current ? " on " + WideToUtf8(current->GetPageName()) : std::string()));
  if (button == ButtonType::Accept || button == ButtonType::Decline || button == ButtonType::SkipAll) {
    if (const auto offer = offerFlow_.CurrentOffer()) {
      const char* answer = button == ButtonType::Accept ? "accepted" : button == ButtonType::Decline ? "declined"
                                                                                                     : "declined with Skip All";
      log::LogLine("offer", offer->m_analyticsId + ": " + answer + " by the user");
    }
  }
  int skippedOffers = 0;
  if (button == ButtonType::Decline || button == ButtonType::SkipAll) offerFlow_.OnDecline(button == ButtonType::SkipAll);
  if (button == ButtonType::Accept || button == ButtonType::Decline || button == ButtonType::SkipAll)
    skippedOffers = CountSkippedOffers();
  const FlowStep step = flow_.OnButton(button, skippedOffers);
  if (step.createMainPackage) CreateMainPackage();
  if (step.endDialog) {
    EndAfterLastPage(*step.endDialog, step.cleanUpWorkFolder);
    return;
  }
  if (step.cleanUpWorkFolder) CleanUpTempFolder();
  if (step.navigateTo) NavigateTo(*step.navigateTo);
}

int COstraneDlg::CountSkippedOffers() {
  int followingOfferPages = 0;
  for (auto index = static_cast<std::size_t>(flow_.current()) + 1;
       index < pages_.size() && pages_[index]->GetPageName() == L"ProductPage"; ++index)
    ++followingOfferPages;
  std::vector<PassedOver> passed;
  const int skipped = offerFlow_.CountSkippedOffers(followingOfferPages, *ConfigurationManager::Instance(), passed);
  for (const PassedOver& offer : passed) {
    log::LogLine("offer", offer.package->m_analyticsId + ": passed over, " + offer.reason +
                              (offer.reported ? "" : " (beyond the campaign's maximum: not reported)"));
    if (offer.reported) offer.package->SendEvent(kEventPassedOver, nlohmann::json{{"13", offer.reason}});
  }
  return skipped;
}

void COstraneDlg::CreateMainPackage() {
  auto settings = ConfigurationManager::Instance();
  if (settings->m_wizardType == kWizardIsv) {
    settings->m_mainPackage = std::make_shared<Package>(MakeRequestContext(), settings->m_productId,
                                                        settings->m_campaignCfl, settings->m_productName,
                                                        settings->m_campaignCh);
  } else {
    settings->m_mainPackage = std::make_shared<Package>(MakeRequestContext(), L"", L"", L"", L"");
  }
  settings->m_mainPackage->SendEvent(kEventStarted, nlohmann::json::object());
}

void COstraneDlg::NavigateTo(int index) {
  if (!flow_.IsValidIndex(index)) return;
  IPage& next = *pages_[index];
  ::ShowWindow(next.hwnd(), SW_SHOW);
  ::SetFocus(next.hwnd());
  const int previous = flow_.current();
  if (previous != index && flow_.IsValidIndex(previous)) ::ShowWindow(pages_[previous]->hwnd(), SW_HIDE);

  flow_.NavigateTo(index);
  next.OnNavigateToPage();
  const std::wstring name = next.GetPageName();
  UpdateSystemMenu(SystemMenuChangeFor(name));
  log::LogLine("page", WideToUtf8(name) + " shown");
}

void COstraneDlg::UpdateSystemMenu(SystemMenuChange change) {
  HMENU menu = ::GetSystemMenu(hwnd(), FALSE);
  if (menu == nullptr) return;
  const bool hasClose = ::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1);
  if (change == SystemMenuChange::RemoveClose && hasClose) {
    ::DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
  } else if (change == SystemMenuChange::RestoreClose && !hasClose) {
    ::AppendMenuW(menu, MF_STRING, SC_CLOSE, L"Close");
  }
  ::DrawMenuBar(hwnd());
}

void COstraneDlg::ShowErrorPage(const std::wstring& title, const std::wstring& text) {
  if (!errorPage_) {
    auto page = std::make_unique<ErrorPage>(languages_);
    if (!CreatePage(*page, PlaceholderRect())) return;  // CreatePage has said so
    errorPage_ = std::move(page);
  }
  if (flow_.IsValidIndex(flow_.current())) ::ShowWindow(pages_[flow_.current()]->hwnd(), SW_HIDE);
  errorPage_->SetTexts(title, text);
  ::ShowWindow(errorPage_->hwnd(), SW_SHOW);
  ::SetFocus(errorPage_->hwnd());
  flow_.SetErrorShown();
  UpdateSystemMenu(SystemMenuChange::RestoreClose);
}

LRESULT COstraneDlg::OnLoadCompleteMessage(WPARAM, LPARAM) {
  LoadedOffers loaded;
  {
    std::lock_guard lock(handOver_->mutex);
    loaded = std::move(handOver_->loaded);
  }
  // The pictures reach the packages and the settings here, on this thread, where the
  // pages read them and the wizard releases them.
  for (std::size_t index = 0; index < loaded.offers.size() && index < loaded.pictures.size(); ++index)
    loaded.offers[index]->m_image = std::move(loaded.pictures[index]);
  auto settings = ConfigurationManager::Instance();
  if (loaded.logo) settings->m_logoImage = std::move(loaded.logo);
  offerFlow_.SetOffers(std::move(loaded.offers));
  languages_->SetLanguage(settings->m_languageName);
  if (settings->m_wizardType == kWizardDlm) {
    headerImage_.SetImage(settings->m_logoImage);
    headerImage_.SetName(settings->m_productName);
    ::ShowWindow(Item(IDC_HEADER_IMAGE), SW_SHOW);
    SetItemText(IDC_TITLE_TEXT, settings->m_productName);
    ::ShowWindow(Item(IDC_TITLE_TEXT), SW_SHOW);
    ::SetWindowTextW(hwnd(), (settings->m_productName + L" Setup").c_str());
  }
  // The campaign's flow tag and channel now reach the main package's records.
  if (settings->m_mainPackage) {
    settings->m_mainPackage->RefreshAnalytics(
        MakeRequestContext(), settings->m_wizardType == kWizardDlm ? settings->m_productName : settings->m_productId,
        settings->m_campaignCfl, settings->m_productName, settings->m_campaignCh);
  }
  const RECT placeholder = PlaceholderRect();
  if (settings->m_qlFlavour) {
    if (settings->m_classicMode) CreateAndAddPage(std::make_unique<WarningPageQLClassic>(languages_), placeholder);
    CreateAndAddPage(std::make_unique<LicensePageIsv>(languages_), placeholder);
  } else {
    CreateAndAddPage(std::make_unique<WelcomePageIsv>(languages_), placeholder);
  }
  for (const auto& offer : offerFlow_.offers())
    CreateAndAddPage(std::make_unique<ProductPage>(languages_, offer), placeholder);
  if (settings->m_classicMode) {
    CreateAndAddPage(std::make_unique<OptionsPageQLClassic>(languages_), placeholder);
    CreateAndAddPage(std::make_unique<ConfigurationsPageQLClassic>(languages_), placeholder);
  }
  if (settings->m_wizardType == kWizardDlm) {
    CreateAndAddPage(std::make_unique<DownloadPageDlm>(languages_), placeholder);
    CreateAndAddPage(std::make_unique<FinishPageDlm>(languages_), placeholder);
  } else {
    auto download = std::make_unique<DownloadPageIsv>(languages_);
    download->m_onInstallStarted = [this] { installing_ = true; };
    download->m_onInstallFinished = [this] { installing_ = false; };
    CreateAndAddPage(std::move(download), placeholder);
    CreateAndAddPage(std::make_unique<FinishPageIsv>(languages_), placeholder);
  }
  OnButton(ButtonType::Next);
  return 0;
}

bool COstraneDlg::OnCommand(int id, int notifyCode, HWND control) {
  if (id == IDC_SHOW_TEST_ERROR) {
    ShowErrorPage(L"Error", L"Error message");
    return true;
  }
  return Dialog::OnCommand(id, notifyCode, control);
}

HBRUSH COstraneDlg::OnCtlColor(HDC dc, HWND control, UINT type) { return OnCtlColorHook(dc, control, type); }

HBRUSH COstraneDlg::OnCtlColorHook(HDC dc, HWND control, UINT type) {
  if (control != nullptr && ::GetDlgCtrlID(control) == IDC_BOTTOM_BAND) {
    ::SetBkMode(dc, TRANSPARENT);
    return bandBrush_.get();
  }
  return Dialog::OnCtlColor(dc, control, type);
}

std::optional<INT_PTR> COstraneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnSysCommand(wParam);
        return 0;
      }
      return std::nullopt;
    case WM_PAINT:
      if (PaintMinimised()) return 0;
      return std::nullopt;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_LOAD_COMPLETE:
      return OnLoadCompleteMessage(wParam, lParam);
    default:
      return std::nullopt;
  }
}

void COstraneDlg::OnSysCommand(WPARAM) {
  CAboutDlg about(ConfigurationManager::Instance()->m_fileVersion);
  about.DoModal(hwnd());
}

bool COstraneDlg::PaintMinimised() {
  if (!::IsIconic(hwnd())) return false;
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(hwnd(), &paint);
  ::SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(hwnd(), &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, icon_);
  ::EndPaint(hwnd(), &paint);
  return true;
}

void COstraneDlg::OnClose() {
  if (flow_.ShouldConfirmExit()) {
    const std::wstring question = languages_->GetText(installing_ ? "PROGRESS_QUIT" : "MSG_EXIT");
    log::LogLine("quit", "the user asks to close; asked \"" + WideToUtf8(question) + "\"");
    if (::MessageBoxW(hwnd(), question.c_str(), L"", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
      log::LogLine("quit", "the user goes on");
      return;
    }
  }
  log::LogLine("quit", "the user quits");
  auto settings = ConfigurationManager::Instance();
  settings->m_closing = true;
  DownloadManager::Instance()->m_cancelled = true;
  LeaveTheScreen();
  // The window is hidden while each package's quit event goes out: one at a time,
  // the offers shown first, the main product last.
  const auto deadline = std::chrono::steady_clock::now() + kLastEventsBound;
  for (const auto& package : settings->m_shownPackages) {
    package->SendEvent(kEventUserQuit, nlohmann::json::object());
    package->WaitForSends(deadline);
  }
  if (settings->m_mainPackage) {
    settings->m_mainPackage->SendEvent(kEventUserQuit, nlohmann::json::object());
    settings->m_mainPackage->WaitForSends(deadline);
  }
  CleanUpTempFolder();
  OnCancel();
}

void COstraneDlg::EndAfterLastPage(int result, bool cleanUpWorkFolder) {
  log::LogLine("end", "the wizard ends after its last page");
  LeaveTheScreen();
  // Nothing more is said, but what was said arrives: events still on their way (a
  // second attempt after a refused one) are waited for, as quitting waits.
  if (!WaitForEverySend(std::chrono::steady_clock::now() + kLastEventsBound))
    log::LogLine("end", "events still on their way after the wait's bound are given up");
  if (cleanUpWorkFolder) CleanUpTempFolder();
  EndDialog(result);
}

void COstraneDlg::LeaveTheScreen() {
  singleInstanceMutex_.reset();  // a new instance may start from now on
  ::ShowWindow(hwnd(), SW_HIDE);
  {
    std::lock_guard lock(handOver_->mutex);
    handOver_->window = nullptr;  // pictures still coming in hand over to nobody
  }
  for (const auto& page : pages_) page->OnWizardEnding();
}

void COstraneDlg::CleanUpTempFolder() {
  auto settings = ConfigurationManager::Instance();
  if (settings->m_workFolder.empty()) return;
  log::LogLine("clean-up", "removing the work folder " + WideToUtf8(settings->m_workFolder));
  DeleteFolderTree(settings->m_workFolder);
}

}  // namespace ostrane

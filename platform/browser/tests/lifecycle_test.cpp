// Page loads, events and the ways a browser call can fail: a page that never
// finishes, a document that has gone, Chromium missing or dying mid-call.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/browser/devtools.h"
#include "platform/browser/tests/browser_test_util.h"

namespace ss {
namespace {

using test::DocumentAs;
using test::OpenPage;
using test::Wide;

// Records DocumentComplete events.
class EventSink : public ComObject<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetIDsOfNames(REFIID, const char16_t* const*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != DISPID_DOCUMENTCOMPLETE || !params || params->cArgs != 2) return S_OK;
    urls.push_back(test::Narrow(params->rgvarg[0].bstrVal()));
    browsers.push_back(params->rgvarg[1].pdispVal());
    thread = std::this_thread::get_id();
    return S_OK;
  }
  std::vector<std::string> urls;
  std::vector<IDispatch*> browsers;
  std::thread::id thread;
};

TEST(BrowserEvents, DocumentCompleteReachesAdvisedSinksOnTheCallingThread) {
  ComPtr<IWebBrowser2> browser;
  ASSERT_EQ(CreateWebBrowser(browser.ReleaseAndGetAddressOf()), S_OK) << GetLastBrowserError();
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(browser.As(&container), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.ReleaseAndGetAddressOf()), S_OK);
  auto sink = MakeCom<EventSink>();
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(sink.Get()), &cookie), S_OK);

  std::string url = "file://" + test::FixturePage("frameset_cols.html");
  ASSERT_EQ(browser->Navigate(Wide(url), nullptr, nullptr, nullptr, nullptr), S_OK) << GetLastBrowserError();
  ASSERT_EQ(sink->urls, std::vector<std::string>{url}) << "one event per page load, its frames included";
  EXPECT_EQ(sink->thread, std::this_thread::get_id());
  ComPtr<IDispatch> browserDispatch;
  ASSERT_EQ(browser.As(&browserDispatch), S_OK);
  EXPECT_EQ(sink->browsers[0], browserDispatch.Get());

  // A load the page starts itself arrives through WaitForEvents.
  ComPtr<IBrowserWindow> window;
  ASSERT_EQ(browser.As(&window), S_OK);
  EXPECT_EQ(window->WaitForEvents(0), S_FALSE);
  std::string next = "file://" + test::FixturePage("frame_500x400.html");
  ASSERT_EQ(browser->Navigate(Wide("javascript:location.href%3D'" + next + "'"), nullptr, nullptr, nullptr, nullptr), S_OK);
  HRESULT hr = S_FALSE;
  for (int i = 0; i < 100 && hr == S_FALSE; ++i) hr = window->WaitForEvents(100);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(sink->urls.back(), next);
  BSTR location;
  ASSERT_EQ(browser->get_LocationURL(&location), S_OK);
  EXPECT_EQ(test::Narrow(location), next);

  ASSERT_EQ(point->Unadvise(cookie), S_OK);
  ASSERT_EQ(browser->Navigate(Wide(url), nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(sink->urls.size(), 2u) << "no events after Unadvise";

  // Closing the window ends its calls.
  ASSERT_EQ(window->Close(), S_OK);
  EXPECT_FALSE(window->IsOpen());
  EXPECT_EQ(window->WaitForEvents(0), RPC_E_DISCONNECTED);
  ComPtr<IDispatch> doc;
  EXPECT_EQ(browser->get_Document(doc.ReleaseAndGetAddressOf()), RPC_E_DISCONNECTED);
}

TEST(BrowserEvents, KeysPressedInThePageReachTheKeyListenerInOrder) {
  auto browser = OpenPage("document.html");
  ASSERT_TRUE(browser);
  ComPtr<IBrowserWindow> window;
  ASSERT_EQ(browser.As(&window), S_OK);
  std::vector<BrowserKeyEvent> keys;
  window->SetKeyListener([&keys](const BrowserKeyEvent& k) { keys.push_back(k); });
  // Ctrl down, 3 on the top row, 7 on the keypad, Ctrl up.
  const char* script =
      "javascript:for (const [t, init] of ["
      "['keydown', {keyCode: 17, ctrlKey: true}],"
      "['keydown', {keyCode: 51, ctrlKey: true}],"
      "['keydown', {keyCode: 55, ctrlKey: true, location: 3}],"
      "['keyup', {keyCode: 17}]]) document.body.dispatchEvent(new KeyboardEvent(t, Object.assign({bubbles: true}, init)))";
  ASSERT_EQ(browser->Navigate(Wide(script), nullptr, nullptr, nullptr, nullptr), S_OK) << GetLastBrowserError();
  for (int i = 0; i < 50 && keys.size() < 4; ++i) window->WaitForEvents(100);
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_TRUE(keys[0].down);
  EXPECT_EQ(keys[0].vk, 0x11);
  EXPECT_EQ(keys[1].vk, '3');
  EXPECT_TRUE(keys[1].ctrl);
  EXPECT_FALSE(keys[1].shift);
  EXPECT_EQ(keys[2].vk, 0x60 + 7) << "a keypad digit has a code of its own";
  EXPECT_FALSE(keys[3].down);
  EXPECT_EQ(keys[3].vk, 0x11);

  window->SetKeyListener(nullptr);
  ASSERT_EQ(browser->Navigate(Wide("javascript:document.body.dispatchEvent(new KeyboardEvent('keydown', {keyCode: 65, bubbles: true}))"),
                              nullptr, nullptr, nullptr, nullptr),
            S_OK);
  window->WaitForEvents(300);
  EXPECT_EQ(keys.size(), 4u) << "no listener, no delivery";
}

TEST(BrowserLoad, PageThatNeverFinishesIsUsedAsItIsAfterTheTimeOut) {
  // A server that accepts connections and never answers.
  int server = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(server, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(server, 8), 0);
  socklen_t len = sizeof addr;
  getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
  int port = ntohs(addr.sin_port);

  ComPtr<IWebBrowser2> browser;
  ASSERT_EQ(CreateWebBrowser(browser.ReleaseAndGetAddressOf()), S_OK) << GetLastBrowserError();
  ComPtr<IBrowserWindow> window;
  ASSERT_EQ(browser.As(&window), S_OK);
  window->SetLoadTimeout(1500);
  std::string url = "file://" + test::FixturePage("never_loads.html") + "?port=" + std::to_string(port);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(browser->Navigate(Wide(url), nullptr, nullptr, nullptr, nullptr), S_OK) << GetLastBrowserError();
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(1400));
  EXPECT_LT(waited, std::chrono::milliseconds(10000));
  auto doc = DocumentAs<IHTMLDocument2>(browser.Get());
  ASSERT_TRUE(doc);
  BSTR title;
  EXPECT_EQ(doc->get_title(&title), S_OK);
  EXPECT_EQ(title, u"Still loading");
  browser = nullptr;
  close(server);
}

TEST(BrowserLoad, MissingFileFailsWithAMessage) {
  ComPtr<IWebBrowser2> browser;
  ASSERT_EQ(CreateWebBrowser(browser.ReleaseAndGetAddressOf()), S_OK);
  HRESULT hr = browser->Navigate(Wide("file:///nonexistent/scrollsnap/page.html"), nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(hr, BROWSER_E_NAVIGATION);
  EXPECT_NE(GetLastBrowserError().find("ERR_FILE_NOT_FOUND"), std::string::npos) << GetLastBrowserError();
}

TEST(BrowserDocument, CallsOnADocumentThatHasGoneFail) {
  auto browser = OpenPage("document.html");
  ASSERT_TRUE(browser);
  auto doc = DocumentAs<IHTMLDocument2>(browser.Get());
  ComPtr<IHTMLElement> body;
  ASSERT_EQ(doc->get_body(body.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IDispatch> allDisp;
  ASSERT_EQ(body->get_all(allDisp.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IHTMLElementCollection> all;
  ASSERT_EQ(allDisp.As(&all), S_OK);
  ComPtr<IDispatch> first;
  ASSERT_EQ(all->item(VARIANT::Long(0), VARIANT(), first.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IHTMLElement> element;
  ASSERT_EQ(first.As(&element), S_OK);

  ASSERT_EQ(browser->Navigate(Wide("file://" + test::FixturePage("frame_300x200.html")), nullptr, nullptr, nullptr, nullptr), S_OK);
  BSTR title;
  EXPECT_EQ(doc->get_title(&title), RPC_E_DISCONNECTED);
  EXPECT_FALSE(GetLastBrowserError().empty());
  LONG v = 0;
  EXPECT_EQ(element->get_offsetWidth(&v), RPC_E_DISCONNECTED) << "also for values read ahead";
  VARIANT attr;
  EXPECT_EQ(element->getAttribute(u"id", 0, &attr), RPC_E_DISCONNECTED);
  // The new document answers.
  auto now = DocumentAs<IHTMLDocument2>(browser.Get());
  ASSERT_EQ(now->get_title(&title), S_OK);
  EXPECT_EQ(title, u"Frame 300x200");
}

TEST(BrowserProcess, MissingChromiumIsReportedByItsPackage) {
  devtools::LaunchOptions options;
  options.executable = "/nonexistent/bin/chromium";
  std::shared_ptr<devtools::Connection> conn;
  std::string message;
  EXPECT_EQ(devtools::Connection::Launch(options, &conn, &message), BROWSER_E_NOT_INSTALLED);
  EXPECT_FALSE(conn);
  EXPECT_NE(message.find("\"chromium\""), std::string::npos) << message;

  // The same through the service, with its options pointing nowhere.
  BrowserOptions saved = GetBrowserOptions();
  pid_t running = BrowserProcessId();
  ShutdownBrowser();
  BrowserOptions bad = saved;
  bad.executable = "/nonexistent/bin/chromium";
  SetBrowserOptions(bad);
  ComPtr<IWebBrowser2> browser;
  EXPECT_EQ(CreateWebBrowser(browser.ReleaseAndGetAddressOf()), BROWSER_E_NOT_INSTALLED);
  EXPECT_NE(GetLastBrowserError().find("\"chromium\""), std::string::npos);
  SetBrowserOptions(saved);
  if (running) {
    EXPECT_EQ(kill(running, 0), -1) << "the Chromium that ran was stopped";
  }
}

TEST(BrowserProcess, ChromiumDyingDuringACallFailsTheCallAndLeavesNoZombie) {
  devtools::LaunchOptions options;
  std::shared_ptr<devtools::Connection> conn;
  std::string message;
  ASSERT_EQ(devtools::Connection::Launch(options, &conn, &message), S_OK) << message;
  pid_t pid = conn->Pid();
  ASSERT_GT(pid, 0);
  std::string profile;
  {
    // The profile folder is named on the command line.
    std::ifstream cmd("/proc/" + std::to_string(pid) + "/cmdline");
    std::string arg;
    while (std::getline(cmd, arg, '\0'))
      if (arg.rfind("--user-data-dir=", 0) == 0) profile = arg.substr(16);
  }
  devtools::Json created, attached;
  ASSERT_EQ(conn->Call("Target.createTarget", {{"url", "about:blank"}}, "", &created, &message), S_OK) << message;
  ASSERT_EQ(conn->Call("Target.attachToTarget", {{"targetId", created["targetId"]}, {"flatten", true}}, "", &attached,
                       &message),
            S_OK);

  std::thread killer([pid] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(pid, SIGKILL);
  });
  auto start = std::chrono::steady_clock::now();
  // A script that never ends: only Chromium's death ends this call.
  HRESULT hr = conn->Call("Runtime.evaluate", {{"expression", "for (;;) {}"}}, attached["sessionId"], nullptr, &message, 60000);
  killer.join();
  EXPECT_EQ(hr, RPC_E_SERVER_DIED) << message;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(conn->Alive());
  EXPECT_EQ(conn->Call("Browser.getVersion", {}, "", nullptr, &message), RPC_E_SERVER_DIED);

  // Reaped: no /proc entry (a zombie would keep one).
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    struct stat st;
    gone = stat(("/proc/" + std::to_string(pid)).c_str(), &st) != 0;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone) << "Chromium " << pid << " left a zombie";
  conn->Shutdown();
  if (!profile.empty()) {
    EXPECT_FALSE(std::filesystem::exists(profile)) << "profile folder removed";
  }
}

}  // namespace
}  // namespace ss

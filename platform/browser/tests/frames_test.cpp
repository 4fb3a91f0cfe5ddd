// Frames of another site, which Chromium shows from another process: their
// documents are reached through the frame's own DevTools session.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/browser/tests/browser_test_util.h"

namespace ss {
namespace {

// A small HTTP server on 127.0.0.1: "/top.html" is a page whose iframe
// comes from "localhost" (another site), "/frame.html" a page of its own.
class TwoSiteServer {
 public:
  TwoSiteServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd_, 16);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TwoSiteServer() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
    for (auto& t : connections_) t.join();
  }
  int port() const { return port_; }

 private:
  // One thread per connection: Chromium also opens connections it sends
  // nothing on.
  void Serve() {
    while (!stop_) {
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) break;
      timeval timeout{2, 0};
      setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      connections_.emplace_back([this, c] { Answer(c); });
    }
  }

  void Answer(int c) {
    char buf[4096];
    ssize_t n = read(c, buf, sizeof buf - 1);
    std::string request(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    std::string body;
    if (request.rfind("GET /top.html", 0) == 0) {
      body = "<html><head><title>Top site</title></head><body style=\"margin:0\">"
             "<iframe src=\"http://localhost:" + std::to_string(port_) +
             "/frame.html\" width=\"200\" height=\"100\"></iframe></body></html>";
    } else if (request.rfind("GET /frame.html", 0) == 0) {
      body = "<html><head><title>Other site</title></head><body style=\"margin:0\">"
             "<div style=\"width:640px;height:480px\"></div></body></html>";
    }
    std::string head = body.empty() ? "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"
                                    : "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                          std::to_string(body.size()) + "\r\n\r\n";
    std::string reply = head + body;
    ssize_t w = write(c, reply.data(), reply.size());
    (void)w;
    close(c);
  }
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<std::thread> connections_;
};

TEST(BrowserFrames, FrameOfAnotherSiteIsReachedThroughFramesAndEmbeddings) {
  TwoSiteServer server;
  ComPtr<IWebBrowser2> browser;
  ASSERT_EQ(CreateWebBrowser(browser.ReleaseAndGetAddressOf()), S_OK) << GetLastBrowserError();
  std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/top.html";
  ASSERT_EQ(browser->Navigate(test::Wide(url), nullptr, nullptr, nullptr, nullptr), S_OK) << GetLastBrowserError();
  auto doc = test::DocumentAs<IHTMLDocument2>(browser.Get());
  ASSERT_TRUE(doc);

  ComPtr<IHTMLFramesCollection2> frames;
  ASSERT_EQ(doc->get_frames(frames.ReleaseAndGetAddressOf()), S_OK);
  VARIANT item;
  ASSERT_EQ(frames->item(VARIANT::Long(0), &item), S_OK) << GetLastBrowserError();
  ComPtr<IHTMLWindow2> window;
  ASSERT_EQ(ComPtr<IDispatch>(item.pdispVal()).As(&window), S_OK);
  ComPtr<IHTMLDocument2> frameDoc;
  ASSERT_EQ(window->get_document(frameDoc.ReleaseAndGetAddressOf()), S_OK) << GetLastBrowserError();
  BSTR title;
  ASSERT_EQ(frameDoc->get_title(&title), S_OK) << GetLastBrowserError();
  EXPECT_EQ(title, u"Other site");
  ComPtr<IHTMLElement> body;
  ASSERT_EQ(frameDoc->get_body(body.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IHTMLElement2> body2;
  ASSERT_EQ(body.As(&body2), S_OK);
  LONG w = 0, h = 0;
  ASSERT_EQ(body2->get_scrollWidth(&w), S_OK);
  ASSERT_EQ(body2->get_scrollHeight(&h), S_OK);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);

  ComPtr<IOleContainer> container;
  ASSERT_EQ(doc.As(&container), S_OK);
  ComPtr<IEnumUnknown> items;
  ASSERT_EQ(container->EnumObjects(OLECONTF_EMBEDDINGS, items.ReleaseAndGetAddressOf()), S_OK);
  IUnknown* first = nullptr;
  ULONG got = 0;
  ASSERT_EQ(items->Next(1, &first, &got), S_OK);
  auto embedded = ComPtr<IUnknown>::Adopt(first);
  ComPtr<IWebBrowser2> frameBrowser;
  ASSERT_EQ(embedded.As(&frameBrowser), S_OK);
  BSTR frameUrl;
  ASSERT_EQ(frameBrowser->get_LocationURL(&frameUrl), S_OK);
  EXPECT_EQ(test::Narrow(frameUrl), "http://localhost:" + std::to_string(server.port()) + "/frame.html");
}

}  // namespace
}  // namespace ss

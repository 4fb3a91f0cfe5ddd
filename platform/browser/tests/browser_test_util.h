// Helpers for the tests that drive the real Chromium.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/browser/browser.h"
#include "platform/codepage/codepage.h"
#include "tests/support/test_home.h"

namespace ss::test {

inline std::string FixturePage(const std::string& name) {
  return SourceDir() + "/tests/fixtures/pages/" + name;
}

inline std::u16string Wide(const std::string& s) { return AnsiToWide(s); }
inline std::string Narrow(const std::u16string& s) { return WideToAnsi(s); }

// A browser window on a fixture page (the query, if any, is kept).
inline ComPtr<IWebBrowser2> OpenPage(const std::string& page) {
  ComPtr<IWebBrowser2> browser;
  HRESULT hr = CreateWebBrowser(browser.ReleaseAndGetAddressOf());
  EXPECT_EQ(hr, S_OK) << GetLastBrowserError();
  if (Failed(hr)) return nullptr;
  std::string url = "file://" + FixturePage(page);
  hr = browser->Navigate(Wide(url), nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(hr, S_OK) << GetLastBrowserError();
  return browser;
}

template <typename T>
ComPtr<T> DocumentAs(IWebBrowser2* browser) {
  ComPtr<IDispatch> d;
  EXPECT_EQ(browser->get_Document(d.ReleaseAndGetAddressOf()), S_OK) << GetLastBrowserError();
  ComPtr<T> out;
  if (d) {
    EXPECT_EQ(d.As(&out), S_OK);
  }
  return out;
}

}  // namespace ss::test

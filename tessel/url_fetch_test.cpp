// GetURL of the built Tessel.dll against a small HTTP server that the test
// runs on 127.0.0.1 (loopback only) on a thread of its own; and the fetch
// itself with scripted sources, for the failures a live server cannot cause.
#include "tessel/url_fetch.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "tessel/test_library.h"

namespace tessel {
namespace {

using platform::win32::ScopedWindow;
using testing::ExportAs;
using testing::UrlExport;

// What the server does with a request for one path.
struct Reply {
  std::string bytes;   // sent as they are, headers included
  bool reset = false;  // then the connection is reset instead of closed
};

std::string Ok(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nCache-Control: no-store\r\n"
         "Connection: close\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

class LoopbackServer {
 public:
  LoopbackServer() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 8);
    int size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stopping_ = true;
    closesocket(listener_);
    thread_.join();
    WSACleanup();
  }

  void Add(const std::string& path, Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = std::move(reply);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  void Serve() {
    while (!stopping_) {
      const SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      std::thread([this, client] { Answer(client); }).detach();
    }
  }

  void Answer(SOCKET client) {
    std::string request;
    char chunk[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int received = recv(client, chunk, sizeof chunk, 0);
      if (received <= 0) break;
      request.append(chunk, received);
    }
    const size_t path_start = request.find(' ') + 1;
    const std::string path = request.substr(path_start, request.find(' ', path_start) - path_start);
    Reply reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = replies_.find(path);
      reply = found != replies_.end() ? found->second : Reply{Ok("not found")};
    }
    send(client, reply.bytes.data(), static_cast<int>(reply.bytes.size()), 0);
    if (reply.reset) {
      linger abort_at_once = {1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_at_once),
                 sizeof abort_at_once);
    } else {
      shutdown(client, SD_SEND);
    }
    closesocket(client);
  }

  SOCKET listener_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, Reply> replies_;
};

struct Fetched {
  int32_t result;
  std::string text;
};

class GetUrlTest : public ::testing::Test {
 protected:
  static constexpr auto kNoHang = std::chrono::seconds(40);

  // Calls GetURL on a thread of its own; a call that does not come back in
  // time fails the test and ends the program, which could not go on.
  Fetched Fetch(const std::string& path, int32_t max_chars, HWND window = nullptr) {
    auto call = std::async(std::launch::async, [=, this] {
      std::string buffer(static_cast<size_t>(max_chars) + 64, '\x5c');
      const int32_t result = get_url_(server_.Url(path).c_str(), buffer.data(), max_chars, window);
      return Fetched{result, buffer};
    });
    if (call.wait_for(kNoHang) != std::future_status::ready) {
      ADD_FAILURE() << "GetURL of " << path << " did not return";
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 3);
    }
    return call.get();
  }

  LoopbackServer server_;
  UrlExport get_url_ = ExportAs<UrlExport>("GetURL");
};

TEST_F(GetUrlTest, LinesAreJoinedWithoutSeparator) {
  server_.Add("/crlf", {Ok("a\r\nb\r\nc\r\n")});
  server_.Add("/lf", {Ok("a\nb\nc")});
  for (const char* path : {"/crlf", "/lf"}) {
    const Fetched fetched = Fetch(path, 100);
    EXPECT_EQ(fetched.result, 3) << path;
    EXPECT_EQ(fetched.text.substr(0, 4), std::string("abc\0", 4)) << path;
  }
}

TEST_F(GetUrlTest, DeliversAtMostTheMaximum) {
  const std::string body = "0123456789abcdefghijklmno";
  server_.Add("/long", {Ok(body)});
  const Fetched cut = Fetch("/long", 10);
  EXPECT_EQ(cut.result, 10);
  EXPECT_EQ(cut.text.substr(0, 12), std::string("0123456789\0\x5c", 12));
  const Fetched whole = Fetch("/long", 25);
  EXPECT_EQ(whole.result, 25);
  EXPECT_EQ(whole.text.substr(0, 26), body + '\0');
  const Fetched none = Fetch("/long", 0);
  EXPECT_EQ(none.result, 0);
  EXPECT_EQ(none.text[0], '\0');
}

TEST_F(GetUrlTest, ResourceLongerThanTheReadBuffer) {
  std::string body;
  std::string expected;
  for (int line = 0; line < 2000; ++line) {
    body += "line " + std::to_string(line) + "\r\n";
    expected += "line " + std::to_string(line);
  }
  server_.Add("/big", {Ok(body)});
  const Fetched fetched = Fetch("/big", 100000);
  EXPECT_EQ(fetched.result, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(fetched.text.substr(0, expected.size()), expected);
}

TEST_F(GetUrlTest, CaptionShowsTheUrl) {
  server_.Add("/caption", {Ok("x")});
  const ScopedWindow window(CreateWindowA("STATIC", "before", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                          nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(window.valid());
  char buffer[32];
  const int32_t result = get_url_(server_.Url("/caption").c_str(), buffer, 10, window.get());
  EXPECT_EQ(result, 1);
  char caption[256] = {};
  GetWindowTextA(window.get(), caption, sizeof caption);
  EXPECT_EQ(std::string(caption), "Retrieving " + server_.Url("/caption"));
}

TEST_F(GetUrlTest, ConnectionBrokenMidBodyDoesNotHang) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100000\r\n\r\n";
  server_.Add("/closed", {head + "partial\r\nbody"});
  server_.Add("/reset", {head + "partial\r\nbody", true});
  // WinInet takes the closed connection for the end of the resource.
  const Fetched closed = Fetch("/closed", 200);
  EXPECT_EQ(closed.result, 11);
  EXPECT_EQ(std::string(closed.text.c_str()), "partialbody");
  // The reset either comes after WinInet has read the bytes sent before it
  // (the same end) or overtakes them, depending on the moment each arrives:
  // then the call fails with the system's text for the reset.
  const Fetched reset = Fetch("/reset", 200);
  const std::string reset_text = reset.text.c_str();
  if (reset.result == -1) {
    EXPECT_FALSE(reset_text.empty());
    EXPECT_EQ(reset_text.find("partial"), std::string::npos) << reset_text;
  } else {
    EXPECT_EQ(reset.result, 11);
    EXPECT_EQ(reset_text, "partialbody");
  }
}

TEST_F(GetUrlTest, ConcurrentCallsKeepTheirOwnText) {
  server_.Add("/one", {Ok(std::string(3000, '1'))});
  server_.Add("/two", {Ok(std::string(5000, '2'))});
  auto one = std::async(std::launch::async, [this] { return Fetch("/one", 10000); });
  auto two = std::async(std::launch::async, [this] { return Fetch("/two", 10000); });
  const Fetched first = one.get();
  const Fetched second = two.get();
  EXPECT_EQ(first.result, 3000);
  EXPECT_EQ(std::string(first.text.c_str()), std::string(3000, '1'));
  EXPECT_EQ(second.result, 5000);
  EXPECT_EQ(std::string(second.text.c_str()), std::string(5000, '2'));
}

// ------------------------------------------------------ scripted sources
constexpr FetchTiming kQuickTiming = {1, 50};

// A source that opens after `open_delay_ms` (or never, when `opens` is
// false) and then delivers `chunks`, failing after them when `fail` is set.
UrlSource ScriptedSource(std::vector<std::string> chunks, bool fail, bool opens = true,
                         DWORD open_delay_ms = 0) {
  auto remaining = std::make_shared<std::vector<std::string>>(std::move(chunks));
  UrlSource source;
  source.open = [=](const std::string&) {
    Sleep(open_delay_ms);
    return opens;
  };
  source.read = [=](char* buffer, uint32_t size, uint32_t* read, std::string* error_message) {
    if (remaining->empty()) {
      if (fail) *error_message = "The connection with the server was reset";
      *read = 0;
      return !fail;
    }
    const std::string chunk = remaining->front();
    remaining->erase(remaining->begin());
    *read = static_cast<uint32_t>(std::min<size_t>(chunk.size(), size));
    std::memcpy(buffer, chunk.data(), *read);
    return true;
  };
  return source;
}

struct Outcome {
  int32_t result;
  std::string text;
  long long milliseconds;
};

Outcome RunFetch(UrlSource source, int32_t max_chars, HWND window = nullptr) {
  std::string buffer(static_cast<size_t>(max_chars) + 16, '\x5c');
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = FetchUrl("http://scripted/", buffer.data(), max_chars, window,
                                  std::move(source), kQuickTiming);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  return {result, buffer.c_str(),
          std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()};
}

TEST(FetchUrlTest, ReadFailureAfterOpeningEndsTheWaitWithTheMessage) {
  const Outcome outcome = RunFetch(ScriptedSource({"first line\r\n", "sec"}, true), 200);
  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(outcome.text, "The connection with the server was reset");
  EXPECT_LT(outcome.milliseconds, 1000);
}

TEST(FetchUrlTest, ErrorMessageIsCutToTheMaximum) {
  const Outcome outcome = RunFetch(ScriptedSource({}, true), 14);
  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(outcome.text, "The connection");
}

TEST(FetchUrlTest, LineEndsSplitAcrossReads) {
  const Outcome outcome = RunFetch(ScriptedSource({"a\r", "\nb", "\r\n", "c\rd\n"}, false), 50);
  EXPECT_EQ(outcome.result, 5);
  EXPECT_EQ(outcome.text, "abc\rd");
}

TEST(FetchUrlTest, UrlThatNeverOpensTimesOut) {
  const ScopedWindow window(CreateWindowA("STATIC", "untouched", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                          100, nullptr, nullptr, nullptr, nullptr));
  const Outcome outcome = RunFetch(ScriptedSource({"never read"}, false, false), 50, window.get());
  EXPECT_EQ(outcome.result, -2);
  // More than one whole second must have passed at the watchdog's look.
  EXPECT_GE(outcome.milliseconds, 2000);
  EXPECT_LT(outcome.milliseconds, 10000);
  char caption[64] = {};
  GetWindowTextA(window.get(), caption, sizeof caption);
  EXPECT_EQ(std::string(caption), "untouched");
}

TEST(FetchUrlTest, LateOpeningDoesNotDisturbTheNextFetch) {
  const Outcome late = RunFetch(ScriptedSource({"late text"}, false, true, 3000), 50);
  EXPECT_EQ(late.result, -2);
  const Outcome next = RunFetch(ScriptedSource({"next text"}, false), 50);
  EXPECT_EQ(next.result, 9);
  EXPECT_EQ(next.text, "next text");
  Sleep(1500);  // lets the late fetch finish in the background
}

}  // namespace
}  // namespace tessel

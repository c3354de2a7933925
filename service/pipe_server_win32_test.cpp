// The service's pipe under Wine, served with a handler that echoes the
// caller's identity and request.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "platform/win32/pipe_io_win32.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
#include "service/pipe_server.h"

namespace nox::service {
namespace {

using platform::win32::Deadline;
using platform::win32::ScopedFile;
using Clock = std::chrono::steady_clock;

constexpr DWORD kClientAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kPatienceMs = 20000;

std::string Echo(const Caller& caller, std::string_view request) {
  if (request == "sleep") std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return caller.sid + "|" + caller.account_name + "|" + std::to_string(caller.session_id) + "|" +
         std::string(request);
}

ScopedFile Connect() {
  Deadline deadline(kPatienceMs);
  for (;;) {
    ScopedFile pipe(CreateFileA(kPipeName, kClientAccess, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe.valid()) {
      DWORD mode = PIPE_READMODE_MESSAGE;
      SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
      return pipe;
    }
    if (deadline.Remaining() == 0) return ScopedFile();
    if (GetLastError() == ERROR_PIPE_BUSY) WaitNamedPipeA(kPipeName, deadline.Remaining());
  }
}

bool Send(HANDLE pipe, std::string_view request) {
  return platform::win32::WriteMessage(pipe, request, Deadline(kPatienceMs), nullptr) ==
         ERROR_SUCCESS;
}

std::optional<std::string> Receive(HANDLE pipe) {
  std::string answer;
  if (platform::win32::ReadMessage(pipe, 1 << 20, Deadline(kPatienceMs), nullptr, &answer) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return answer;
}

std::optional<std::string> Ask(std::string_view request) {
  const ScopedFile pipe = Connect();
  if (!pipe.valid() || !Send(pipe.get(), request)) return std::nullopt;
  return Receive(pipe.get());
}

std::string LogonName() {
  char name[256] = {};
  DWORD size = sizeof name;
  return GetUserNameA(name, &size) ? name : "";
}

class PipeServerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start()); }
  PipeServer server_{Echo};
};

TEST_F(PipeServerTest, AnswersWithTheCallersIdentityFromItsToken) {
  std::optional<std::string> answer = Ask("minutes");
  ASSERT_TRUE(answer.has_value());
  size_t first = answer->find('|');
  size_t second = answer->find('|', first + 1);
  size_t third = answer->find('|', second + 1);
  ASSERT_NE(third, std::string::npos) << *answer;
  EXPECT_EQ(answer->rfind("S-1-5-", 0), 0u) << *answer;
  EXPECT_EQ(answer->substr(first + 1, second - first - 1), LogonName());
  EXPECT_EQ(answer->substr(third + 1), "minutes");
}

// How long after connecting the server ends a connection of a client that
// does `behave` (the server's end closing shows as a failed read or write).
Clock::duration TimeUntilDropped(void (*behave)(HANDLE pipe)) {
  const ScopedFile pipe = Connect();
  Clock::time_point connected = Clock::now();
  behave(pipe.get());
  return Clock::now() - connected;
}

void SendNothing(HANDLE pipe) {
  std::string nothing;
  platform::win32::ReadMessage(pipe, 0, Deadline(kPatienceMs), nullptr, &nothing);
}

// Each write is a message of its own: the first is the request, answered;
// the ones after it end the connection.
void SendAByteASecond(HANDLE pipe) {
  for (int second = 0; second < 10 && Send(pipe, "x"); ++second) Sleep(1000);
}

TEST_F(PipeServerTest, SilentAndSlowClientsAreDroppedWithoutDelayingOthers) {
  auto limit = std::chrono::milliseconds(kClientTimeoutMs) + std::chrono::seconds(3);
  Clock::duration silent_for{};
  Clock::duration slow_for{};
  std::thread silent([&] { silent_for = TimeUntilDropped(SendNothing); });
  std::thread slow([&] { slow_for = TimeUntilDropped(SendAByteASecond); });
  Sleep(200);
  Clock::time_point asked = Clock::now();
  std::optional<std::string> answer = Ask("login auto");
  Clock::duration answered_after = Clock::now() - asked;
  silent.join();
  slow.join();
  EXPECT_TRUE(answer.has_value());
  EXPECT_LT(answered_after, silent_for);
  EXPECT_GE(silent_for, std::chrono::milliseconds(kClientTimeoutMs));
  EXPECT_LT(silent_for, limit);
  EXPECT_LT(slow_for, limit);
}

TEST_F(PipeServerTest, OversizedRequestIsDroppedUnanswered) {
  for (size_t size : {kMaxRequestBytes + 1, size_t{10} << 20}) {
    const ScopedFile pipe = Connect();
    Send(pipe.get(), std::string(size, 'a'));
    EXPECT_FALSE(Receive(pipe.get()).has_value()) << size;
  }
  EXPECT_TRUE(Ask(std::string(kMaxRequestBytes, 'a')).has_value());
}

TEST_F(PipeServerTest, ClientGoneBeforeItsAnswerDoesNotStopTheServer) {
  {
    const ScopedFile pipe = Connect();
    ASSERT_TRUE(Send(pipe.get(), "sleep"));
  }
  Sleep(500);
  EXPECT_TRUE(Ask("after").has_value());
}

TEST_F(PipeServerTest, TwoHundredClientsAtOnceAreEachAnsweredOrDropped) {
  constexpr int kClients = 200;
  std::atomic<int> answered = 0;
  std::vector<std::thread> clients;
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&answered, client] {
      std::string request = "client " + std::to_string(client);
      std::optional<std::string> answer = Ask(request);
      if (answer && answer->ends_with("|" + request)) ++answered;
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_GT(answered.load(), 0);
  std::printf("%d of %d clients answered\n", answered.load(), kClients);
  EXPECT_TRUE(Ask("after the crowd").has_value());
}

}  // namespace
}  // namespace nox::service

// The error trap's timer, memory, program file, date texts and windows, in
// memory.
#include <cstdio>

#include "platform/fake/fake_state.h"

namespace platform {

using fake::TheState;

void RequestMillisecondTimer() { ++TheState().timer_requests; }
uint32_t TimerMilliseconds() { return TheState().timer_ms; }
void SuppressSystemErrorBoxes() { ++TheState().error_box_suppressions; }
MemoryStatus GetMemoryStatus() { return TheState().memory_status; }
std::string ProgramFileName() { return TheState().program_file_name; }
ProgramVersion GetProgramVersion() { return TheState().program_version; }

std::string ShortDateText(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%d/%d/%d", time.month, time.day, time.year);
  return text;
}

std::string LongTimeText(const LocalTime& time) {
  const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, time.minute, time.second,
                time.hour < 12 ? "AM" : "PM");
  return text;
}

std::vector<TopLevelWindow> TopLevelWindows() {
  std::vector<TopLevelWindow> windows;
  for (const auto& window : TheState().windows) {
    windows.push_back(TopLevelWindow{window.handle, window.title.substr(0, 255)});
  }
  return windows;
}

namespace {

intptr_t Deliver(const fake::SentMessage& message) {
  auto& state = TheState();
  state.sent_messages.push_back(message);
  for (const auto& window : state.windows) {
    if (window.handle == message.window) return window.answer ? window.answer(message) : 0;
  }
  return 0;
}

}  // namespace

intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wparam,
                           intptr_t lparam) {
  return Deliver(fake::SentMessage{window, message, wparam, lparam, ""});
}

intptr_t SendWindowText(WindowHandle window, const std::string& text) {
  constexpr uint32_t kWmSetText = 0x000C;
  return Deliver(fake::SentMessage{window, kWmSetText, text.size(), 0, text});
}

std::vector<WindowHandle> VisibleProgramWindows() { return TheState().visible_program_windows; }

void EnableWindow(WindowHandle window, bool enable) {
  TheState().enable_window_calls.push_back(fake::EnableWindowCall{window, enable});
}

void PumpMessages() { ++TheState().message_pumps; }
void BreakIntoDebugger() { ++TheState().debugger_breaks; }

namespace fake {

void SetTimerMilliseconds(uint32_t milliseconds) { TheState().timer_ms = milliseconds; }
void AdvanceTimer(uint32_t milliseconds) { TheState().timer_ms += milliseconds; }
void SetMemoryStatus(const MemoryStatus& status) { TheState().memory_status = status; }
void SetProgramFileName(const std::string& path) { TheState().program_file_name = path; }
void SetProgramVersion(const ProgramVersion& version) { TheState().program_version = version; }
int MillisecondTimerRequests() { return TheState().timer_requests; }
int SystemErrorBoxSuppressions() { return TheState().error_box_suppressions; }
int DebuggerBreaks() { return TheState().debugger_breaks; }

WindowHandle AddTopLevelWindow(const std::string& title, WindowAnswer answer) {
  auto& windows = TheState().windows;
  const WindowHandle handle = 0x10000 + windows.size() * 4;
  windows.push_back(State::Window{handle, title, answer});
  return handle;
}

const std::vector<SentMessage>& SentMessages() { return TheState().sent_messages; }

void SetVisibleProgramWindows(const std::vector<WindowHandle>& windows) {
  TheState().visible_program_windows = windows;
}

const std::vector<EnableWindowCall>& EnableWindowCalls() { return TheState().enable_window_calls; }

int MessagePumps() { return TheState().message_pumps; }

}  // namespace fake

}  // namespace platform

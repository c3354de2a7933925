#include "clearway/snare/traced_routine.h"

#include "clearway/snare/snare.h"
#include "common/runtime_error.h"
#include "platform/platform.h"

namespace nox {

std::string ArgumentList(
    std::initializer_list<std::pair<std::string_view, std::string_view>> arguments) {
  std::string list = "(";
  for (const auto& [name, value] : arguments) {
    if (list.size() > 1) list += ", ";
    list.append(name).append("=").append(value);
  }
  return list + ")";
}

TracedRoutine::TracedRoutine(std::string module, std::string procedure, DescribeArguments describe,
                             OnError on_error)
    : module_(std::move(module)),
      procedure_(std::move(procedure)),
      describe_(std::move(describe)),
      on_error_(on_error) {
  snPUSH(module_, procedure_, describe_ ? describe_() : "()");
}

TracedRoutine::TracedRoutine(std::string module, std::string procedure, OnError on_error)
    : TracedRoutine(std::move(module), std::move(procedure), nullptr, on_error) {}

TracedRoutine::TracedRoutine(TracedRoutine&& other) noexcept
    : module_(std::move(other.module_)),
      procedure_(std::move(other.procedure_)),
      describe_(std::move(other.describe_)),
      on_error_(other.on_error_),
      announced_(other.announced_),
      leaving_(other.leaving_),
      uncaught_at_entry_(other.uncaught_at_entry_) {
  other.announced_ = false;
}

TracedRoutine TracedRoutine::Unannounced(std::string module, std::string procedure) {
  TracedRoutine routine;
  routine.module_ = std::move(module);
  routine.procedure_ = std::move(procedure);
  return routine;
}

TracedRoutine::~TracedRoutine() {
  if (!announced_) return;
  // The end of the program leaves no exit path behind (the fake platform
  // unwinds where Windows ends the process at once).
  if (std::uncaught_exceptions() > uncaught_at_entry_) return;
  snPOP(module_, procedure_, describe_ ? describe_() : "()");
}

bool TracedRoutine::Do(int32_t line, const std::function<void()>& statement) {
  while (!leaving_) {
    try {
      statement();
      return true;
    } catch (const RuntimeError& error) {
      if (on_error_ == OnError::kResumeNext) return true;
      const TrappedError trapped{error.number(), error.source(), error.help_file(),
                                 error.help_context(), line};
      switch (snERROR(module_, procedure_, trapped)) {
        case kActionRetry:
          break;
        case kActionNext:
          return true;
        case kActionBreakRetry:
          platform::BreakIntoDebugger();
          break;
        default:
          leaving_ = true;
      }
    }
  }
  return false;
}

}  // namespace nox

#include "noxadmin/serve/server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <random>
#include <sstream>
#include <thread>

#include "common/catalogue.h"
#include "noxadmin/serve/host_serve.h"
#include "noxadmin/serve/json.h"
#include "noxadmin/serve/page.h"
#include "noxadmin/session.h"
#include "noxadmin/text.h"

namespace nox::admin {

// One request of the API.
struct AdminApi::Route {
  std::string_view path;  // after "api/"
  bool change;            // POST; else GET (or HEAD)
  void (AdminApi::*handle)(const Route&, const httplib::Request&, httplib::Response&);
  // For the commands on one user: the command's words, and the form field
  // of its second argument (none for "user remove").
  std::vector<std::string> command = {};
  std::string second = {};
};

namespace {

// The scripts may come only from this server; styles only from its style
// sheet (no inline style attributes either).
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kPlainText = "text/plain; charset=utf-8";

void Send(httplib::Response& response, const Answer& answer) {
  response.status = answer.status;
  response.set_content(answer.json, kJson);
}

void SendPlain(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(text, kPlainText);
}

// A page file or a download. Every answer names its status: the library's
// own fallback for an unset one depends on the request (206 when it asked for
// a range), which these answers are not.
void SendOk(httplib::Response& response, const std::string& content,
            const std::string& content_type) {
  response.status = 200;
  response.set_content(content, content_type);
}

std::string DayText(const platform::LocalTime& time) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.year % 10000, time.month % 100,
                time.day % 100);
  return text;
}

// A file name for a download: the user's name where it is plain.
std::string DownloadName(const std::string& name, const std::string& extension) {
  std::string plain;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    plain += ok ? c : '_';
  }
  return (plain.empty() ? "user" : plain) + extension;
}

bool ConstantTimePrefix(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < prefix.size(); ++i) {
    difference |= static_cast<unsigned char>(text[i] ^ prefix[i]);
  }
  return difference == 0;
}

// The fields of a user form in the order the command line applies them: a
// level before the minutes, so that a new triple keeps the new budget.
std::vector<std::string> EditableFields() {
  std::vector<std::string> names;
  for (const FieldInfo& field : kFields) {
    if (std::string_view(field.name) != "name") names.push_back(field.name);
  }
  return names;
}

// The value of a request parameter; nothing when it is missing.
std::optional<std::string> Param(const httplib::Request& request, const char* name) {
  if (!request.has_param(name)) return std::nullopt;
  return request.get_param_value(name);
}

// A request parameter the route needs; std::invalid_argument (answered with
// 400) when it is missing.
std::string Required(const httplib::Request& request, const std::string& name) {
  std::optional<std::string> value = Param(request, name.c_str());
  if (!value) throw std::invalid_argument("the request has no \"" + name + "\"");
  return *value;
}

// Parameters a route does not know are a fault of the caller, not data to
// drop silently.
void CheckParams(const httplib::Request& request, const std::vector<std::string>& known,
                 bool with_was = false) {
  for (const auto& [name, value] : request.params) {
    const bool was = with_was && name.rfind("was.", 0) == 0 && IsField(name.substr(4));
    if (!was && std::find(known.begin(), known.end(), name) == known.end()) {
      throw std::invalid_argument("the request has an unknown field \"" + name + "\"");
    }
  }
}

// A failure met outside a command, answered by its kind.
Answer FailureAnswer(const Failure& failure) {
  return ErrorAnswer(HttpStatusOf(failure.kind()), OutputToUtf8(failure.what()));
}

}  // namespace

const std::vector<AdminApi::Route>& AdminApi::Routes() {
  static const std::vector<Route> routes = {
      {"state", false, &AdminApi::State},
      {"user", false, &AdminApi::User},
      {"export", false, &AdminApi::Export},
      {"plan", false, &AdminApi::Plan},
      {"check", false, &AdminApi::Check},
      {"user/add", true, &AdminApi::AddUser},
      {"user/set", true, &AdminApi::SetUser},
      {"user/rename", true, &AdminApi::ActOnUser, {"user", "rename"}, "new"},
      {"user/move", true, &AdminApi::ActOnUser, {"user", "move"}, "position"},
      {"user/grant", true, &AdminApi::ActOnUser, {"user", "grant"}, "minutes"},
      {"user/remove", true, &AdminApi::ActOnUser, {"user", "remove"}},
      {"settings", true, &AdminApi::Settings},
      {"import", true, &AdminApi::Import},
  };
  return routes;
}

std::string NewAccessToken() {
  std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int word = 0; word < 4; ++word) {
    uint32_t bits = random();
    for (int digit = 0; digit < 8; ++digit, bits >>= 4) token += kHex[bits & 15];
  }
  return token;
}

AdminApi::AdminApi(ServeTarget target, std::string token,
                   std::function<platform::LocalTime()> clock)
    : target_(std::move(target)), token_(std::move(token)), clock_(std::move(clock)) {}

bool AdminApi::HostAllowed(const httplib::Request& request) const {
  if (request.get_header_value_count("Host") != 1) return false;
  const std::string host = request.get_header_value("Host");
  const std::string port = ":" + std::to_string(port_);
  if (host != "127.0.0.1" + port && host != "localhost" + port) return false;
  // A page of another site may send changes here by a form; it cannot know
  // the token, and a browser names it as the Origin besides.
  if (request.get_header_value_count("Origin") > 0) {
    const std::string origin = request.get_header_value("Origin");
    return origin == "http://127.0.0.1" + port || origin == "http://localhost" + port;
  }
  return true;
}

void AdminApi::Handle(const httplib::Request& request, httplib::Response& response) {
  response.set_header("Content-Security-Policy", kContentSecurityPolicy);
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("Cache-Control", "no-store");
  if (!HostAllowed(request)) {
    SendPlain(response, 403,
              "Refused: this server answers only to http://127.0.0.1:" + std::to_string(port_) +
                  " and http://localhost:" + std::to_string(port_) + "\n");
    return;
  }
  const std::string prefix = "/" + token_ + "/";
  if (!ConstantTimePrefix(request.path, prefix)) {
    if (request.path == "/" + token_) {
      response.set_redirect(prefix, 303);
      return;
    }
    SendPlain(response, 403,
              "Refused: open the address \"noxadmin serve\" printed, with its access token\n");
    return;
  }
  const std::string route = request.path.substr(prefix.size());
  if (route.rfind("api/", 0) == 0) {
    HandleApi(route.substr(4), request, response);
    return;
  }
  if (request.method != "GET" && request.method != "HEAD") {
    SendPlain(response, 405, "Only GET here\n");
    return;
  }
  const std::string name = route.empty() ? "index.html" : route;
  for (const PageFile& file : PageFiles()) {
    if (file.name == name) {
      SendOk(response, std::string(file.content), std::string(file.content_type));
      return;
    }
  }
  SendPlain(response, 404, "Not found\n");
}

void AdminApi::HandleApi(const std::string& path, const httplib::Request& request,
                         httplib::Response& response) {
  const auto route = std::find_if(Routes().begin(), Routes().end(),
                                  [&](const Route& candidate) { return candidate.path == path; });
  if (route == Routes().end()) return Send(response, ErrorAnswer(404, "no such request: " + path));
  const bool get = request.method == "GET" || request.method == "HEAD";
  if (route->change ? request.method != "POST" : !get) {
    return Send(response,
                ErrorAnswer(405, path + ": " + (route->change ? "POST" : "GET") + " only"));
  }
  // One request at a time: the tables on disk, and the simulated machine
  // of the login preview, are shared by all.
  const std::lock_guard<std::mutex> lock(tables_);
  try {
    (this->*route->handle)(*route, request, response);
  } catch (const std::invalid_argument& error) {
    Send(response, ErrorAnswer(HttpStatusOf(ProblemKind::kBadRequest), error.what()));
  } catch (const std::exception& error) {
    Send(response, ErrorAnswer(500, std::string("noxadmin failed: ") + error.what()));
  }
}

CommandRun AdminApi::Run(const std::vector<std::string>& args, const std::string& input) {
  std::vector<std::string> line;
  if (target_.dir) line.push_back("--dir=" + *target_.dir);
  if (target_.prefix) line.push_back("--prefix=" + *target_.prefix);
  for (const std::string& arg : args) {
    std::optional<std::string> converted = Utf8ToInput(arg);
    if (!converted) {
      // An option's field, else a user's name.
      const bool option = arg.rfind("--", 0) == 0;
      const std::string field = option ? arg.substr(2, arg.find('=') - 2) : "name";
      const Refusal refusal =
          Refusal::OfField(field, "holds a character the Windows code page (1252) cannot store",
                           option ? "--" + field : "name");
      return {{kExitFailed, Problem{refusal.kind(), field, refusal.what(), {}}},
              "",
              "noxadmin: " + std::string(refusal.what()) + "\n",
              {}};
    }
    line.push_back(std::move(*converted));
  }
  CommandRun run;
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(input);
  AdminContext context{out, err, in, clock_(), &run.notes};
  run.outcome = RunCommand(line, context);
  run.out = out.str();
  run.err = err.str();
  return run;
}

void AdminApi::RunChange(const std::vector<std::string>& args, httplib::Response& response,
                         const std::string& input) {
  Send(response, AnswerTo(Run(args, input)));
}

void AdminApi::State(const Route&, const httplib::Request&, httplib::Response& response) {
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  const platform::LocalTime now = clock_();
  AdminContext context{out, err, in, now};
  Session session(context, target_.dir, target_.prefix);
  std::vector<UserSummary> users;
  SettingsView settings;
  try {
    users = SummarizeUsers(session, session.LoadTable());
    settings = ViewSettings(session);
  } catch (const Failure& failure) {
    return Send(response, FailureAnswer(failure));
  }
  std::string json = "{\"today\":" + JsonString(DayText(now)) +
                     ",\"labBudget\":" + (settings.lab_budget ? "true" : "false");
  std::vector<std::string> fields;
  for (const FieldInfo& field : kFields) {
    fields.push_back(JsonObject()
                         .Text("name", field.name)
                         .Text("valueHelp", field.value_help)
                         .Text("help", field.help)
                         .Done());
  }
  std::vector<std::string> levels;
  for (const SecurityLevel& level : kSecurityLevels) {
    std::vector<std::string> restrictions;
    for (const std::string& line : RestrictionsOf(ReadLevelTriple(level.triple))) {
      restrictions.push_back(JsonString(line));
    }
    levels.push_back(JsonObject()
                         .Text("name", level.name)
                         .Text("triple", level.triple)
                         .Raw("restrictions", JsonArray(restrictions))
                         .Done());
  }
  const std::string settings_json =
      JsonObject()
          .Flag("exists", settings.exists)
          .Text("master-folder", OutputToUtf8(settings.master_folder))
          .Text("copy-from-master", settings.copy_from_master ? "yes" : "no")
          .Text("lab-budget", settings.lab_budget ? "on" : "off")
          .Done();
  json += ",\"fields\":" + JsonArray(fields) + ",\"levels\":" + JsonArray(levels) +
          ",\"settings\":" + settings_json + ",\"users\":[";
  json.reserve(json.size() + users.size() * 160);
  for (size_t i = 0; i < users.size(); ++i) {
    const UserSummary& user = users[i];
    if (i > 0) json += ',';
    json += JsonObject()
                .Number("n", user.n)
                .Text("name", OutputToUtf8(user.name))
                .Text("level", user.level)
                .Text("minutes", user.minutes)
                .MaybeNumber("used", user.used_today)
                .MaybeNumber("lab", settings.lab_budget ? user.lab_today : std::nullopt)
                .Text("network", user.network)
                .Text("programs", OutputToUtf8(user.programs))
                .Done();
  }
  Send(response, {200, json + "]}"});
}

void AdminApi::User(const Route&, const httplib::Request& request, httplib::Response& response) {
  const std::string name = Required(request, "name");
  const std::optional<std::string> typed = Utf8ToInput(name);
  if (!typed) {
    return Send(response,
                ErrorAnswer(HttpStatusOf(ProblemKind::kNotFound), "no user \"" + name + "\""));
  }
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  AdminContext context{out, err, in, clock_()};
  Session session(context, target_.dir, target_.prefix);
  JsonObject fields;
  int n = 0;
  std::string password;
  try {
    const UserTable table = session.LoadTable();
    n = session.FindUser(table, *typed);
    const UserDraft draft = session.LoadDraft(table, n);
    // The stored password never leaves the tables: the form starts empty.
    for (const FieldInfo& field : kFields) {
      const bool hidden = std::string_view(field.name) == "password";
      fields.Text(field.name, hidden ? "" : AnsiToUtf8(FieldValue(draft, field.name)));
    }
    password = PasswordState(draft.record);
  } catch (const Failure& failure) {
    return Send(response, FailureAnswer(failure));
  }
  const CommandRun show = Run({"user", "show", "--", name});
  Send(response, {200, JsonObject()
                           .Number("n", n)
                           .Text("name", name)
                           .Text("password", password)
                           .Raw("fields", fields.Done())
                           .Text("show", OutputToUtf8(show.out + show.err))
                           .Done()});
}

void AdminApi::AddUser(const Route&, const httplib::Request& request, httplib::Response& response) {
  std::vector<std::string> known = EditableFields();
  known.push_back("name");
  CheckParams(request, known);
  std::vector<std::string> args = {"user", "add"};
  for (const std::string& field : EditableFields()) {
    const std::string value = request.get_param_value(field);
    if (!value.empty()) args.push_back("--" + field + "=" + value);
  }
  args.insert(args.end(), {"--", Required(request, "name")});
  RunChange(args, response);
}

void AdminApi::SetUser(const Route&, const httplib::Request& request, httplib::Response& response) {
  const std::vector<std::string> editable = EditableFields();
  std::vector<std::string> known = editable;
  known.push_back("name");
  CheckParams(request, known, true);
  const std::string name = Required(request, "name");
  // Each changed field with the value the page loaded: the command line
  // writes nothing when the user on disk no longer holds it.
  std::vector<std::string> args = {"user", "set"};
  std::vector<std::string> expectations;
  for (const std::string& field : editable) {
    if (!request.has_param(field)) continue;
    args.push_back("--" + field + "=" + request.get_param_value(field));
    // A new password replaces whatever is stored, which the page never sees.
    if (field == "password") continue;
    expectations.push_back("--expect=" + field + "=" + Required(request, "was." + field));
  }
  if (args.size() == 2) throw std::invalid_argument("the request changes no field");
  args.insert(args.end(), expectations.begin(), expectations.end());
  args.insert(args.end(), {"--", name});
  RunChange(args, response);
}

void AdminApi::ActOnUser(const Route& route, const httplib::Request& request,
                         httplib::Response& response) {
  std::vector<std::string> known = {"name"};
  if (!route.second.empty()) known.push_back(route.second);
  CheckParams(request, known);
  std::vector<std::string> args = route.command;
  args.insert(args.end(), {"--", Required(request, "name")});
  if (!route.second.empty()) args.push_back(Required(request, route.second));
  RunChange(args, response);
}

void AdminApi::Settings(const Route&, const httplib::Request& request,
                        httplib::Response& response) {
  const std::vector<std::string> settings = {"master-folder", "copy-from-master", "lab-budget"};
  CheckParams(request, settings);
  std::vector<std::string> args = {"settings", "set"};
  for (const std::string& setting : settings) {
    if (request.has_param(setting)) {
      args.push_back("--" + setting + "=" + request.get_param_value(setting));
    }
  }
  if (args.size() == 2) throw std::invalid_argument("the request changes no setting");
  RunChange(args, response);
}

void AdminApi::Import(const Route&, const httplib::Request& request, httplib::Response& response) {
  RunChange({"import", "-"}, response, request.body);
}

void AdminApi::Check(const Route&, const httplib::Request& request, httplib::Response& response) {
  CheckParams(request, {});
  const CommandRun run = Run({"check"});
  Send(response, {200, JsonObject()
                           .Flag("ok", run.outcome.exit == kExitOk)
                           .Text("text", OutputToUtf8(run.out + run.err))
                           .Done()});
}

void AdminApi::Export(const Route&, const httplib::Request& request, httplib::Response& response) {
  CheckParams(request, {});
  const CommandRun run = Run({"export"});
  if (run.outcome.exit != kExitOk) return Send(response, AnswerTo(run));
  response.set_header("Content-Disposition", "attachment; filename=\"users.csv\"");
  SendOk(response, run.out, std::string("text/csv; charset=") + OutputCharset());
}

void AdminApi::Plan(const Route&, const httplib::Request& request, httplib::Response& response) {
  CheckParams(request, {"name", "format", "at", "windows", "ie"});
  const std::string name = Required(request, "name");
  std::vector<std::string> args = {"plan"};
  for (const char* option : {"format", "at", "windows", "ie"}) {
    if (std::optional<std::string> value = Param(request, option)) {
      args.push_back(std::string("--") + option + "=" + *value);
    }
  }
  args.insert(args.end(), {"--", name});
  const CommandRun run = Run(args);
  if (run.outcome.exit != kExitOk) return Send(response, AnswerTo(run));
  if (Param(request, "format") == "reg") {
    response.set_header("Content-Disposition",
                        "attachment; filename=\"" + DownloadName(name, ".reg") + "\"");
  }
  SendOk(response, run.out, std::string("text/plain; charset=") + OutputCharset());
}

// ------------------------------------------------------------------ server

AdminServer::AdminServer(ServeTarget target, std::function<platform::LocalTime()> clock)
    : token_(NewAccessToken()),
      api_(std::move(target), token_, std::move(clock)),
      server_(std::make_unique<httplib::Server>()) {
  server_->set_socket_options(BindAlone);
  // Headers and body go out in separate writes: without this, Nagle's wait
  // for the browser's delayed acknowledgement adds about 40 ms to answers.
  server_->set_tcp_nodelay(true);
  // Short waits on idle connections, so that Stop ends the server quickly
  // even with a browser still connected.
  server_->set_keep_alive_timeout(1);
  server_->set_read_timeout(2, 0);
  server_->set_write_timeout(5, 0);
  server_->set_payload_max_length(64 * 1024 * 1024);
  const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    api_.Handle(request, response);
  };
  const char* everything = "[\\s\\S]*";
  server_->Get(everything, handler);
  server_->Post(everything, handler);
  server_->Put(everything, handler);
  server_->Delete(everything, handler);
  server_->Patch(everything, handler);
  server_->Options(everything, handler);
}

AdminServer::~AdminServer() = default;

void AdminServer::Bind(int port) {
  const bool bound = port == 0 ? (port_ = server_->bind_to_any_port("127.0.0.1")) > 0
                               : server_->bind_to_port("127.0.0.1", port_ = port);
  if (!bound) {
    throw Refusal("cannot listen on 127.0.0.1:" + std::to_string(port) +
                  ": the port is in use (another noxadmin serve?) or closed to this user; "
                  "choose another with --port");
  }
  api_.set_port(port_);
}

std::string AdminServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + token_ + "/";
}

bool AdminServer::Run() { return server_->listen_after_bind(); }

void AdminServer::Stop() { server_->stop(); }

namespace {

// Set by SIGINT or SIGTERM (Ctrl-C); a signal handler can do no more than
// that, so a watcher thread stops the server. Process-wide by nature.
std::atomic<bool> interrupted{false};

extern "C" void NoteInterrupt(int) { interrupted = true; }

// While it lives, Ctrl-C (or SIGTERM) stops the server.
class StopOnInterrupt {
 public:
  explicit StopOnInterrupt(AdminServer& server) : server_(server) {
    interrupted = false;
    previous_int_ = std::signal(SIGINT, NoteInterrupt);
    previous_term_ = std::signal(SIGTERM, NoteInterrupt);
    watcher_ = std::thread([this] { Watch(); });
  }
  ~StopOnInterrupt() {
    done_ = true;
    watcher_.join();
    std::signal(SIGINT, previous_int_);
    std::signal(SIGTERM, previous_term_);
  }
  StopOnInterrupt(const StopOnInterrupt&) = delete;
  StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

 private:
  void Watch() {
    while (!done_) {
      // The server may not have started listening yet: keep asking.
      if (interrupted) server_.Stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  AdminServer& server_;
  std::atomic<bool> done_{false};
  std::thread watcher_;
  void (*previous_int_)(int) = nullptr;
  void (*previous_term_)(int) = nullptr;
};

}  // namespace

int Serve(Session& session, const ParsedArgs& args) {
  int port = kDefaultServePort;
  if (const std::optional<std::string> text = args.Option("port")) {
    const bool digits =
        !text->empty() && text->size() <= 5 &&
        std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || std::stoi(*text) > 65535) {
      throw UsageError("--port: \"" + *text + "\" is not a port number from 0 to 65535");
    }
    port = std::stoi(*text);
  }
  // A missing table folder is refused before anything listens.
  const std::string folder = session.Folder().dir();
  KeepFreedMemory();
  AdminServer server({session.dir(), session.prefix()}, HostNow);
  server.Bind(port);
  session.out() << server.Url() << std::endl;
  session.err() << "noxadmin: serving the tables of " << folder
                << " on 127.0.0.1 only; open the address above in a browser; Ctrl-C stops"
                << std::endl;
  StopOnInterrupt stop(server);
  if (!server.Run()) throw Failure("the server stopped with an error");
  session.err() << "noxadmin: server stopped" << std::endl;
  return kExitOk;
}

}  // namespace nox::admin

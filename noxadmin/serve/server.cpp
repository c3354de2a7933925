#include "noxadmin/serve/server.h"

#include <httplib.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include "common/catalogue.h"
#include "noxadmin/serve/page.h"
#include "noxadmin/session.h"
#include "noxadmin/text.h"

namespace nox::admin {

struct AdminApi::Outcome {
  int exit = kExitOk;
  std::string out;  // as the command line prints it
  std::string err;
};

namespace {

// The scripts may come only from this server; styles only from its style
// sheet (no inline style attributes either).
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kPlainText = "text/plain; charset=utf-8";

#if defined(_WIN32)
constexpr const char* kOutputCharset = "windows-1252";
#else
constexpr const char* kOutputCharset = "utf-8";
#endif

// The command line's text (UTF-8 on Linux, the ANSI code page on Windows)
// as UTF-8 for the browser, and back.
std::string OutputToUtf8(std::string_view text) {
#if defined(_WIN32)
  return AnsiToUtf8(text);
#else
  return std::string(text);
#endif
}

std::optional<std::string> Utf8ToInput(std::string_view utf8) {
#if defined(_WIN32)
  return Utf8ToAnsi(utf8);
#else
  return std::string(utf8);
#endif
}

// The length of the UTF-8 sequence starting at `at`, or 0 when the bytes
// there are not one.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = lead < 0x80                    ? 1
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  if (length == 3 &&
      ((lead == 0xE0 && byte(at + 1) < 0xA0) || (lead == 0xED && byte(at + 1) >= 0xA0)))
    return 0;
  if (length == 4 &&
      ((lead == 0xF0 && byte(at + 1) < 0x90) || (lead == 0xF4 && byte(at + 1) >= 0x90)))
    return 0;
  return length;
}

// Appends `text` as a JSON string. Bytes that are not UTF-8 become U+FFFD;
// "<", ">" and "&" are escaped so that no answer can be read as markup.
void AppendQuoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(i, length));
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  out += '"';
}

std::string Quoted(std::string_view text) {
  std::string out;
  AppendQuoted(out, text);
  return out;
}

// A JSON object written member by member.
class JsonObject {
 public:
  JsonObject& Raw(std::string_view key, std::string_view json) {
    Key(key);
    text_.append(json);
    return *this;
  }
  JsonObject& Text(std::string_view key, std::string_view utf8) {
    Key(key);
    AppendQuoted(text_, utf8);
    return *this;
  }
  JsonObject& Number(std::string_view key, int64_t value) {
    return Raw(key, std::to_string(value));
  }
  JsonObject& Flag(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
  JsonObject& MaybeNumber(std::string_view key, std::optional<int64_t> value) {
    return Raw(key, value ? std::to_string(*value) : "null");
  }
  std::string Done() const { return text_ + "}"; }

 private:
  void Key(std::string_view key) {
    if (text_.size() > 1) text_ += ',';
    AppendQuoted(text_, key);
    text_ += ':';
  }

  std::string text_ = "{";
};

std::string JsonArray(const std::vector<std::string>& items) {
  std::string text = "[";
  for (const std::string& item : items) text += (text.size() > 1 ? "," : "") + item;
  return text + "]";
}

void SendJson(httplib::Response& response, int status, const std::string& json) {
  response.status = status;
  response.set_content(json, kJson);
}

void SendError(httplib::Response& response, int status, const std::string& message,
               std::optional<std::string> field = std::nullopt) {
  JsonObject body;
  body.Flag("ok", false).Text("error", message);
  body.Raw("field", field ? Quoted(*field) : "null");
  SendJson(response, status, body.Done());
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

// The refusals of the command line begin with what they concern
// ("minutes: ...", "--name: ...", "POSITION: ..."): the form field, when
// it is one the page has.
std::optional<std::string> FieldOf(const std::string& message) {
  const size_t colon = message.find(": ");
  if (colon == std::string::npos) return std::nullopt;
  std::string field = message.substr(0, colon);
  field.erase(0, field.find_first_not_of('-'));
  std::transform(field.begin(), field.end(), field.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  static const std::vector<std::string> kOtherFields = {"position", "master-folder",
                                                        "copy-from-master", "lab-budget"};
  if (IsField(field) ||
      std::find(kOtherFields.begin(), kOtherFields.end(), field) != kOtherFields.end()) {
    return field;
  }
  return std::nullopt;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string WithoutPrefix(const std::string& line, std::string_view prefix) {
  return line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line;
}

// "line 3: minutes: ..." of an import: the line number and the rest.
std::optional<std::pair<int, std::string>> RowError(const std::string& message) {
  int line = 0;
  int consumed = 0;
  if (std::sscanf(message.c_str(), "line %d: %n", &line, &consumed) != 1 || consumed == 0) {
    return std::nullopt;
  }
  return std::make_pair(line, message.substr(static_cast<size_t>(consumed)));
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
std::string Required(const httplib::Request& request, const char* name) {
  std::optional<std::string> value = Param(request, name);
  if (!value) throw std::invalid_argument(std::string("the request has no \"") + name + "\"");
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

}  // namespace

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

void AdminApi::HandleApi(const std::string& route, const httplib::Request& request,
                         httplib::Response& response) {
  static const std::vector<std::string> kReads = {"state", "user", "export", "plan", "check"};
  static const std::vector<std::string> kChanges = {"user/add",  "user/set",    "user/rename",
                                                    "user/move", "user/remove", "user/grant",
                                                    "settings",  "import"};
  const bool read = std::find(kReads.begin(), kReads.end(), route) != kReads.end();
  const bool change = std::find(kChanges.begin(), kChanges.end(), route) != kChanges.end();
  if (!read && !change) return SendError(response, 404, "no such request: " + route);
  const bool get = request.method == "GET" || request.method == "HEAD";
  if ((read && !get) || (change && request.method != "POST")) {
    return SendError(response, 405, route + ": " + (read ? "GET" : "POST") + " only");
  }
  // One request at a time: the tables on disk, and the simulated machine
  // of the login preview, are shared by all.
  const std::lock_guard<std::mutex> lock(tables_);
  try {
    if (route == "state") return State(response);
    if (route == "user") return User(request, response);
    if (route == "user/set") return SetUser(request, response);
    if (route == "import") return Import(request, response);
    if (change) return Change(route, request, response);
    Download(route, request, response);
  } catch (const std::invalid_argument& error) {
    SendError(response, 400, error.what());
  } catch (const std::exception& error) {
    SendError(response, 500, std::string("noxadmin failed: ") + error.what());
  }
}

AdminApi::Outcome AdminApi::Run(const std::vector<std::string>& args, const std::string& input) {
  std::vector<std::string> line;
  if (target_.dir) line.push_back("--dir=" + *target_.dir);
  if (target_.prefix) line.push_back("--prefix=" + *target_.prefix);
  for (const std::string& arg : args) {
    std::optional<std::string> converted = Utf8ToInput(arg);
    if (!converted) {
      const std::string what =
          arg.rfind("--", 0) == 0 ? arg.substr(0, arg.find('=')) : std::string("name");
      return {
          kExitFailed, "",
          "noxadmin: " + what + ": holds a character the Windows code page (1252) cannot store\n"};
    }
    line.push_back(std::move(*converted));
  }
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(input);
  AdminContext context{out, err, in, clock_()};
  const int exit = RunNoxadmin(line, context);
  return {exit, out.str(), err.str()};
}

namespace {

// The answer to a change the command line made or refused.
// `changed_meanwhile`: the refusal is another program's change since the
// page loaded the user (answered 409, so that the page shows it anew).
void SendOutcome(httplib::Response& response, int exit, const std::string& out,
                 const std::string& err, std::string_view source_name = "",
                 bool changed_meanwhile = false) {
  std::vector<std::string> notes;
  std::vector<std::string> errors;
  for (const std::string& line : Lines(OutputToUtf8(err))) {
    std::string message = WithoutPrefix(line, "noxadmin: ");
    if (message.rfind("note: ", 0) == 0) {
      notes.push_back(Quoted(message.substr(6)));
    } else {
      errors.push_back(
          source_name.empty() ? message : WithoutPrefix(message, std::string(source_name) + ": "));
    }
  }
  JsonObject body;
  if (exit == kExitOk) {
    std::string message;
    for (const std::string& line : Lines(OutputToUtf8(out)))
      message += (message.empty() ? "" : "\n") + line;
    body.Flag("ok", true).Text("message", message).Raw("notes", JsonArray(notes));
    return SendJson(response, 200, body.Done());
  }
  const std::string main = errors.empty() ? "refused" : errors.back();
  const std::optional<std::string> field = FieldOf(main);
  body.Flag("ok", false).Text("error", main).Raw("field", field ? Quoted(*field) : "null");
  std::vector<std::string> rows;
  for (const std::string& message : errors) {
    if (const auto row = RowError(message)) {
      rows.push_back(JsonObject().Number("line", row->first).Text("error", row->second).Done());
    }
  }
  body.Raw("rows", JsonArray(rows))
      .Raw("notes", JsonArray(notes))
      .Flag("conflict", changed_meanwhile);
  SendJson(response, changed_meanwhile ? 409 : exit == kExitUsage ? 400 : 422, body.Done());
}

}  // namespace

void AdminApi::State(httplib::Response& response) {
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
  } catch (const Failure& error) {
    return SendError(response, 422, OutputToUtf8(error.what()));
  }
  std::string json = "{\"today\":" + Quoted(DayText(now)) +
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
      restrictions.push_back(Quoted(line));
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
  SendJson(response, 200, json + "]}");
}

void AdminApi::User(const httplib::Request& request, httplib::Response& response) {
  const std::string name = Required(request, "name");
  const std::optional<std::string> typed = Utf8ToInput(name);
  if (!typed) return SendError(response, 404, "no user \"" + name + "\"");
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
  } catch (const Failure& error) {
    return SendError(response, 404, OutputToUtf8(error.what()));
  }
  const Outcome show = Run({"user", "show", "--", name});
  SendJson(response, 200,
           JsonObject()
               .Number("n", n)
               .Text("name", name)
               .Text("password", password)
               .Raw("fields", fields.Done())
               .Text("show", OutputToUtf8(show.out + show.err))
               .Done());
}

void AdminApi::SetUser(const httplib::Request& request, httplib::Response& response) {
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
    expectations.push_back("--expect=" + field + "=" + Required(request, ("was." + field).c_str()));
  }
  if (args.size() == 2) throw std::invalid_argument("the request changes no field");
  args.insert(args.end(), expectations.begin(), expectations.end());
  args.insert(args.end(), {"--", name});
  const Outcome outcome = Run(args);
  const bool changed_meanwhile =
      outcome.exit == kExitFailed &&
      (outcome.err.find(" as expected: changed meanwhile") != std::string::npos ||
       outcome.err.rfind("noxadmin: no user ", 0) == 0);
  SendOutcome(response, outcome.exit, outcome.out, outcome.err, "", changed_meanwhile);
}

void AdminApi::Change(const std::string& route, const httplib::Request& request,
                      httplib::Response& response) {
  std::vector<std::string> args;
  if (route == "settings") {
    const std::vector<std::string> settings = {"master-folder", "copy-from-master", "lab-budget"};
    CheckParams(request, settings);
    args = {"settings", "set"};
    for (const std::string& setting : settings) {
      if (request.has_param(setting)) {
        args.push_back("--" + setting + "=" + request.get_param_value(setting));
      }
    }
    if (args.size() == 2) throw std::invalid_argument("the request changes no setting");
  } else if (route == "user/add") {
    std::vector<std::string> known = EditableFields();
    known.push_back("name");
    CheckParams(request, known);
    args = {"user", "add"};
    for (const std::string& field : EditableFields()) {
      const std::string value = request.get_param_value(field);
      if (!value.empty()) args.push_back("--" + field + "=" + value);
    }
    args.insert(args.end(), {"--", Required(request, "name")});
  } else {
    const std::string command = route.substr(5);  // "user/..."
    // The second argument of each command, by its form field.
    const std::vector<std::pair<std::string, std::string>> kSecond = {
        {"rename", "new"}, {"move", "position"}, {"grant", "minutes"}, {"remove", ""}};
    const auto second = std::find_if(kSecond.begin(), kSecond.end(),
                                     [&](const auto& entry) { return entry.first == command; });
    std::vector<std::string> known = {"name"};
    if (!second->second.empty()) known.push_back(second->second);
    CheckParams(request, known);
    args = {"user", command, "--", Required(request, "name")};
    if (!second->second.empty()) args.push_back(Required(request, second->second.c_str()));
  }
  const Outcome outcome = Run(args);
  SendOutcome(response, outcome.exit, outcome.out, outcome.err);
}

void AdminApi::Import(const httplib::Request& request, httplib::Response& response) {
  const Outcome outcome = Run({"import", "-"}, request.body);
  SendOutcome(response, outcome.exit, outcome.out, outcome.err, "standard input");
}

void AdminApi::Download(const std::string& route, const httplib::Request& request,
                        httplib::Response& response) {
  if (route == "check") {
    CheckParams(request, {});
    const Outcome outcome = Run({"check"});
    return SendJson(response, 200,
                    JsonObject()
                        .Flag("ok", outcome.exit == kExitOk)
                        .Text("text", OutputToUtf8(outcome.out + outcome.err))
                        .Done());
  }
  if (route == "export") {
    CheckParams(request, {});
    const Outcome outcome = Run({"export"});
    if (outcome.exit != kExitOk)
      return SendOutcome(response, outcome.exit, outcome.out, outcome.err);
    response.set_header("Content-Disposition", "attachment; filename=\"users.csv\"");
    SendOk(response, outcome.out, std::string("text/csv; charset=") + kOutputCharset);
    return;
  }
  // plan
  CheckParams(request, {"name", "format", "at", "windows", "ie"});
  const std::string name = Required(request, "name");
  std::vector<std::string> args = {"plan"};
  for (const char* option : {"format", "at", "windows", "ie"}) {
    if (std::optional<std::string> value = Param(request, option)) {
      args.push_back(std::string("--") + option + "=" + *value);
    }
  }
  args.insert(args.end(), {"--", name});
  const Outcome outcome = Run(args);
  if (outcome.exit != kExitOk) return SendOutcome(response, outcome.exit, outcome.out, outcome.err);
  if (Param(request, "format") == "reg") {
    response.set_header("Content-Disposition",
                        "attachment; filename=\"" + DownloadName(name, ".reg") + "\"");
  }
  SendOk(response, outcome.out, std::string("text/plain; charset=") + kOutputCharset);
}

// ------------------------------------------------------------------ server

namespace {

// Only this server may listen on its port: without SO_REUSEPORT (which
// the library sets by default on Linux, letting a second server share a
// busy port), and exclusively on Windows.
void BindAlone(socket_t socket) {
#if defined(_WIN32)
  BOOL yes = TRUE;
  setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
             sizeof yes);
#else
  // Rebinding right after a restart, while old connections linger in
  // TIME_WAIT; a listening socket still keeps the port to itself.
  int yes = 1;
  setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
}

}  // namespace

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

namespace {

// The server answers one request after another, each reading and writing
// a table of up to tens of megabytes. glibc would give each such block back
// to the system when freed and take it anew, page fault by page fault, for
// the next request; kept in the heap, the next request finds it ready.
void KeepFreedMemory() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // glibc's largest
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}

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

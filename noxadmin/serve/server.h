// "noxadmin serve": the administration page in a browser. A small HTTP
// server on 127.0.0.1 whose every change runs the command line's own code
// (RunNoxadmin), so the page refuses exactly what the command line refuses.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "noxadmin/serve/answer.h"
#include "platform/platform.h"

namespace httplib {
struct Request;
struct Response;
class Server;
}  // namespace httplib

namespace nox::admin {

inline constexpr int kDefaultServePort = 8737;

// The tables the server edits: the --dir or --prefix of its command line.
struct ServeTarget {
  std::optional<std::string> dir;
  std::optional<std::string> prefix;
};

// A fresh access token: 32 hex digits from the system's random source.
std::string NewAccessToken();

// Answers the requests of one server: the Host header and the token first,
// then the page's files and the API. Thread-safe: the library answers
// requests on several threads, and table changes run one at a time.
class AdminApi {
 public:
  AdminApi(ServeTarget target, std::string token, std::function<platform::LocalTime()> clock);

  // The port the server listens on (the Host header must name it).
  void set_port(int port) { port_ = port; }

  void Handle(const httplib::Request& request, httplib::Response& response);

 private:
  struct Route;
  // Every request of the API: its path, method and handler.
  static const std::vector<Route>& Routes();

  bool HostAllowed(const httplib::Request& request) const;
  void HandleApi(const std::string& path, const httplib::Request& request,
                 httplib::Response& response);

  // The handlers of the routes.
  void State(const Route& route, const httplib::Request& request, httplib::Response& response);
  void User(const Route& route, const httplib::Request& request, httplib::Response& response);
  void AddUser(const Route& route, const httplib::Request& request, httplib::Response& response);
  void SetUser(const Route& route, const httplib::Request& request, httplib::Response& response);
  void ActOnUser(const Route& route, const httplib::Request& request, httplib::Response& response);
  void Settings(const Route& route, const httplib::Request& request, httplib::Response& response);
  void Import(const Route& route, const httplib::Request& request, httplib::Response& response);
  void Export(const Route& route, const httplib::Request& request, httplib::Response& response);
  void Plan(const Route& route, const httplib::Request& request, httplib::Response& response);
  void Check(const Route& route, const httplib::Request& request, httplib::Response& response);

  // Runs noxadmin with `args` (UTF-8; the table folder is added) and the
  // standard input `input`.
  CommandRun Run(const std::vector<std::string>& args, const std::string& input = "");
  // Runs the change and answers with its outcome.
  void RunChange(const std::vector<std::string>& args, httplib::Response& response,
                 const std::string& input = "");

  ServeTarget target_;
  std::string token_;
  std::function<platform::LocalTime()> clock_;
  int port_ = 0;
  std::mutex tables_;
};

// The server: binds, serves until Stop.
class AdminServer {
 public:
  AdminServer(ServeTarget target, std::function<platform::LocalTime()> clock);
  ~AdminServer();

  // Listens on 127.0.0.1:port (0: a free port the system picks). Refusal
  // naming the port when it is taken or cannot be opened.
  void Bind(int port);
  int port() const { return port_; }
  // "http://127.0.0.1:PORT/TOKEN/".
  std::string Url() const;

  // Serves until Stop; false when the server could not run.
  bool Run();
  // From any thread; also before Run starts.
  void Stop();

 private:
  std::string token_;
  AdminApi api_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
};

}  // namespace nox::admin

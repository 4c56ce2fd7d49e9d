#include "cli/FarmServer.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

#include "cli/BoundedHttpServer.h"
#include "cli/DashboardPage.h"
#include "cli/MetricsText.h"
#include "cli/StatusJson.h"

namespace {

// Everything served of one reading, made when it is published.
struct Documents {
  std::string page, status, metrics;
  std::string etag;  // tells this reading from every other
};

struct Document {
  const char* path;
  std::string Documents::*text;
  const char* type;
};

constexpr Document kDocuments[] = {
    {"/", &Documents::page, "text/html; charset=utf-8"},
    {"/status.json", &Documents::status, "application/json"},
    {"/metrics", &Documents::metrics, "text/plain; version=0.0.4; charset=utf-8"},
};

std::shared_ptr<const Documents> MakeDocuments(const FarmReading& reading) {
  auto documents = std::make_shared<Documents>();
  documents->page = DashboardPage(reading);
  std::ostringstream status;
  WriteStatusJson(reading.Farm, reading.Time, status, reading.Time);
  documents->status = std::move(status).str();
  documents->metrics = MetricsText(reading);
  documents->etag =
      '"' + std::to_string(reading.Time) + '-' + std::to_string(reading.Refreshes) + '"';
  return documents;
}

using Handled = httplib::Server::HandlerResponse;

Handled Refuse(httplib::Response& response, int status, const char* text) {
  response.status = status;
  response.set_content(std::string(text) + '\n', "text/plain; charset=utf-8");
  return Handled::Handled;
}

}  // namespace

bool SameToken(const std::string& token, const std::string& expected) {
  if (expected.empty()) return token.empty();
  unsigned char differs = token.size() != expected.size();
  for (size_t i = 0; i < token.size(); ++i)
    differs |= static_cast<unsigned char>(token[i] ^ expected[i % expected.size()]);
  return differs == 0;
}

struct FarmServer::State {
  explicit State(ServerOptions serverOptions)
      : options(std::move(serverOptions)), http(options.limits) {}

  std::shared_ptr<const Documents> Current() {
    const std::lock_guard lock(mutex);
    return documents;
  }

  Handled Admit(const httplib::Request& request, httplib::Response& response) const {
    if (request.method != "GET" && request.method != "HEAD") {
      response.set_header("Allow", "GET, HEAD");
      return Refuse(response, 405, "This server only shows the farm: GET is all it answers.");
    }
    if (options.token &&
        !SameToken(request.get_header_value("Authorization"), "Bearer " + *options.token)) {
      response.set_header("WWW-Authenticate", "Bearer realm=\"quillstrand\"");
      return Refuse(response, 401, "This server needs its token: Authorization: Bearer TOKEN.");
    }
    return Handled::Unhandled;
  }

  void Answer(const Document& document, const httplib::Request& request,
              httplib::Response& response) {
    const std::shared_ptr<const Documents> current = Current();
    if (!current) {
      response.set_header("Retry-After", "5");
      Refuse(response, 503, "The farm has not been read yet.");
      return;
    }
    response.set_header("ETag", current->etag);
    if (request.get_header_value("If-None-Match") == current->etag) {
      response.status = 304;
      return;
    }
    response.set_content(*current.*document.text, document.type);
  }

  void Route() {
    http.set_default_headers({{"Cache-Control", "no-cache"},
                              {"X-Content-Type-Options", "nosniff"},
                              {"Referrer-Policy", "no-referrer"},
                              {"Content-Security-Policy",
                               "default-src 'none'; style-src 'unsafe-inline'; "
                               "script-src 'unsafe-inline'; connect-src 'self'"}});
    http.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
          return Admit(request, response);
        });
    for (const Document& document : kDocuments)
      http.Get(document.path, [this, &document](const auto& request, auto& response) {
        Answer(document, request, response);
      });
    http.Get("/healthz", [this](const httplib::Request&, httplib::Response& response) {
      if (!Current()) {
        Refuse(response, 503, "The farm has not been read yet.");
        return;
      }
      response.set_content("ok\n", "text/plain; charset=utf-8");
    });
  }

  ServerOptions options;
  BoundedHttpServer http;
  std::mutex mutex;
  std::shared_ptr<const Documents> documents;
  std::thread listener;
};

FarmServer::FarmServer(ServerOptions options)
    : state_(std::make_unique<State>(std::move(options))) {
  state_->Route();
}

FarmServer::~FarmServer() { Stop(); }

Result<int> FarmServer::Start() {
  BoundedHttpServer& http = state_->http;
  const ServerOptions& options = state_->options;
  errno = 0;
  const int port = options.port == 0
                       ? http.bind_to_any_port(options.host)
                       : (http.bind_to_port(options.host, options.port) ? options.port : -1);
  if (port < 0) {
    const int why = errno;
    return Error{"cannot listen on " + options.host + " port " + std::to_string(options.port) +
                     (why != 0 ? std::string(": ") + std::strerror(why) : std::string()),
                 why};
  }
  http.RaiseBacklog();
  auto listened = std::make_shared<std::atomic<bool>>(false);
  state_->listener = std::thread([&http, listened] {
    http.listen_after_bind();
    *listened = true;
  });
  // Stopping a server that has not begun to listen would not stop it.
  while (!http.is_running() && !*listened)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return port;
}

void FarmServer::Publish(const FarmReading& reading) {
  std::shared_ptr<const Documents> made = MakeDocuments(reading);
  const std::lock_guard lock(state_->mutex);
  state_->documents = std::move(made);
}

void FarmServer::Stop() {
  if (!state_->listener.joinable()) return;
  state_->http.stop();
  state_->listener.join();
}

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What is wrong now, until it is mended: the settings file's problems from
// its last read, each service that fails, each song file that cannot be
// written. The control page lists them; the icon counts them. Pure: the
// caller gives the time.
namespace receiver {

struct Problem {
  enum class Kind { kSettings, kService, kFile };
  Kind kind = Kind::kSettings;
  std::string subject;      // the service's or the file's name
  std::optional<int> line;  // of the settings file
  std::string section;      // of the settings file, when known
  std::string text;
  std::int64_t since = 0;  // Unix seconds
};

enum class ServiceHealth {
  kWaiting,
  kWorking,
  kFailing,
  kRefused,
  kRedirected
};

struct ServiceState {
  std::string name;
  ServiceHealth health = ServiceHealth::kWaiting;
  std::string problem;     // what went wrong, while it is not working
  std::int64_t since = 0;  // in this health since, Unix seconds
};

class ProblemBoard {
 public:
  // The problems of a read of the settings file, replacing those of the
  // read before; one that was there already keeps its time.
  void SetSettings(std::vector<Problem> problems, std::int64_t now);

  // A service's health; failing again with another problem keeps its time.
  void SetService(const std::string& name, ServiceHealth health,
                  std::string problem, std::int64_t now);
  void RemoveService(const std::string& name);

  // A song file that cannot be written, or (an empty `error`) is again.
  void SetFile(const std::string& name, std::string error, std::int64_t now);

  // Every open problem: the settings', the services', the files'.
  std::vector<Problem> Open() const;
  std::size_t Count() const;
  // Every service the settings name, in the order they came.
  const std::vector<ServiceState>& services() const { return services_; }

 private:
  std::vector<Problem> settings_;
  std::vector<ServiceState> services_;
  std::vector<Problem> files_;
};

}  // namespace receiver

#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// A fresh, empty folder under the prefix's temp folder; removed with its
// files when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const {
    return path_ + "\\" + name;
  }

 private:
  std::string path_;
};

bool WriteBytes(const std::string& path, const std::string& bytes);
bool ReadBytes(const std::string& path, std::string* bytes);
bool FileExists(const std::string& path);

// Writes gen_trackwire.ini into `folder` as the store would: host, port and
// request path on three CR LF lines.
bool WriteSettingsFile(const TempFolder& folder, const std::string& host,
                       const std::string& port,
                       const std::string& request_path);

}  // namespace testing_support

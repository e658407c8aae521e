// On the simulated computer the folder lives in a TempMachine's drive_c, which goes with the
// machine; on Windows it is created below temp_directory_path() and removed in the destructor.
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include "tests/support/temp_machine.h"
#endif

namespace hl::test {
namespace {

std::string UniqueName() {
  std::random_device rd;
  return "hl-" + std::to_string(rd() % 1000000000u);
}

#ifdef _WIN32
std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}
#endif

}  // namespace

ScratchFolder::ScratchFolder() {
#ifdef _WIN32
  const std::filesystem::path base = std::filesystem::temp_directory_path();
#else
  machine_ = std::make_unique<TempMachine>();
  const std::filesystem::path base = machine_->root() / "drive_c";
#endif
  for (;;) {
    const std::string name = UniqueName();
    std::error_code ec;
    if (std::filesystem::create_directory(base / name, ec)) {
      hostRoot_ = base / name;
#ifdef _WIN32
      windowsRoot_ = WithoutTrailingSeparator(base.string()) + "\\" + name;
#else
      windowsRoot_ = "C:\\" + name;
#endif
      break;
    }
    if (ec) {
      ADD_FAILURE() << "cannot create a scratch folder below " << base.string() << ": " << ec.message();
      break;
    }
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  if (!hostRoot_.empty()) std::filesystem::remove_all(hostRoot_, ec);
}

std::string ScratchFolder::Path(std::string_view relative) const {
  return relative.empty() ? windowsRoot_ : windowsRoot_ + "\\" + std::string(relative);
}

std::basic_string<WCHAR> ScratchFolder::WidePath(std::string_view relative) const {
  const std::string narrow = Path(relative);
  const int units = MultiByteToWideChar(CP_UTF8, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  std::basic_string<WCHAR> wide(static_cast<size_t>(units), WCHAR(0));
  MultiByteToWideChar(CP_UTF8, 0, narrow.data(), static_cast<int>(narrow.size()), wide.data(), units);
  return wide;
}

std::filesystem::path ScratchFolder::HostPath(std::string_view relative) const {
  std::filesystem::path path = hostRoot_;
  size_t at = 0;
  while (at <= relative.size()) {
    const size_t end = std::min(relative.find('\\', at), relative.size());
    const std::string_view part = relative.substr(at, end - at);
    if (!part.empty()) path /= std::u8string(reinterpret_cast<const char8_t*>(part.data()), part.size());
    at = end + 1;
  }
  return path;
}

void ScratchFolder::Write(std::string_view relative, std::string_view content) const {
  const std::filesystem::path file = HostPath(relative);
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) ADD_FAILURE() << "cannot write " << file.string();
}

void ScratchFolder::MakeFolder(std::string_view relative) const {
  std::error_code ec;
  std::filesystem::create_directories(HostPath(relative), ec);
  if (ec) ADD_FAILURE() << "cannot create " << HostPath(relative).string() << ": " << ec.message();
}

std::string ScratchFolder::Read(std::string_view relative) const {
  std::ifstream in(HostPath(relative), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ScratchFolder::Exists(std::string_view relative) const {
  std::error_code ec;
  return std::filesystem::exists(HostPath(relative), ec);
}

}  // namespace hl::test

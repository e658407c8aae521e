// Texts of system and product error codes, and the log lines that report them.
#include <optional>
#include <string_view>
#include <vector>

#include "agent/log/error_text.h"
#include "agent/log/log.h"

namespace {

// Allocated by the system, no inserts, system table, no line breaks.
constexpr DWORD kMessageFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr DWORD kLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
// The product's texts are copied into a buffer of this size.
constexpr size_t kCustomTextBuffer = 4096;

// The system's text for `code` (UTF-8), or none when the system has no text for it.
std::optional<std::string> SystemTextWide(DWORD code) {
  WCHAR* buffer = nullptr;
  DWORD length = FormatMessageW(kMessageFlags, nullptr, code, kLanguage, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::optional<std::string> text;
  if (length != 0 && buffer != nullptr) {
    // Converted here without the logging helpers: their failure path reports through this text.
    int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, -1, nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
      std::vector<char> utf8(static_cast<size_t>(bytes) + 1, '\0');
      if (WideCharToMultiByte(CP_UTF8, 0, buffer, -1, utf8.data(), bytes, nullptr, nullptr) > 0) {
        text = std::string(utf8.data());
      }
    }
  }
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

std::optional<std::string> SystemTextAnsi(DWORD code) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(kMessageFlags, nullptr, code, kLanguage, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::optional<std::string> text;
  if (length != 0 && buffer != nullptr) text = std::string(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

std::string CustomTextInBuffer(DWORD code) {
  std::string text = GetCustomErrorMessage(code);
  if (text.size() >= kCustomTextBuffer) text.resize(kCustomTextBuffer - 1);
  return text;
}

void LogCodeText(DWORD code, const std::string& text) {
  if (code == 0) {
    LogInfo("Message : %s \n", text);
  } else {
    LogError("Error Code : %d , Error Message : %s \n", code, text);
  }
}

std::string TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::string();
  size_t last = text.find_last_not_of(kBlanks);
  return std::string(text.substr(first, last - first + 1));
}

struct CustomMessage {
  DWORD code;
  const char* text;
};

constexpr CustomMessage kCustomMessages[] = {
    {1508, "The requested operation is successful. Changes will not be effective until the browser is rebooted."},
    {10001, "hl.db.agent.config.script.powerscript_notfound"},
    {10002, "hl.db.agent.config.run_as_admin.credentials_not_available"},
    {10003, "hl.db.agent.config.returned_zero_failure"},
    {17021, "OfficeUpdateError: Creating temp folder."},
    {17023, "OfficeUpdateError: User cancelled installation."},
    {17024, "OfficeUpdateError: Creating folder failed."},
    {17025, "OfficeUpdateError: Patch already installed."},
    {17026, "OfficeUpdateError: Patch already installed to admin installation."},
    {17027, "OfficeUpdateError: Installation source requires full file update."},
    {17028, "OfficeUpdateError: No product installed for contained patch."},
    {17029, "OfficeUpdateError: Patch failed to install."},
    {17030, "OfficeUpdateError: Invalid CIF format."},
    {17031, "OfficeUpdateError: Invalid baseline."},
    {17034, "OfficeUpdateError: Required patch does not apply to the machine."},
    {17038,
     "OfficeUpdateError: You do not have sufficient privileges to complete this installation for all users of the "
     "machine. Log on as administrator and then retry this installation."},
    {17044, "OfficeUpdateError: Installer was unable to run detection for this package."},
    {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
    {17301, "OfficeUpdateError: General Detection error"},
    {17302, "OfficeUpdateError: Applying patch."},
    {17303, "OfficeUpdateError: Extracting file."},
    {20001, "Patch update delayed since application is used by another process"},
    {0x240006, "Patch already Installed and the changes will not be effective until the system is rebooted."},
    {0x240007, "Patch already Uninstalled and the changes will not be effective until the system is rebooted."},
};

}  // namespace

std::string GetCustomErrorMessage(DWORD code) {
  for (const CustomMessage& entry : kCustomMessages) {
    if (entry.code == code) return entry.text;
  }
  return hl::Sprintf("Unknown Error. Code : %d", code);
}

std::string GetErrorMessage(DWORD code) {
  std::optional<std::string> text = SystemTextWide(code);
  std::string message = text ? std::move(*text) : CustomTextInBuffer(code);
  LogCodeText(code, message);
  return message;
}

void LogErrorMessage(DWORD code) { (void)GetErrorMessage(code); }

int LogErrorMessageA(DWORD code) {
  std::optional<std::string> text = SystemTextAnsi(code);
  LogCodeText(code, TrimBlanks(text ? *text : CustomTextInBuffer(code)));
  return 0;
}

void LogLastError() {
  DWORD code = GetLastError();
  std::optional<std::string> text = SystemTextWide(code);
  LogError(" Error Message: %s\n", text ? *text : GetCustomErrorMessage(code));
}

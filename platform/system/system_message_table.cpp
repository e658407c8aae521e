// The English system message texts the stand-in knows, as Windows stores them (each ends in "\r\n").
#include <map>
#include <optional>
#include <string_view>

#include "platform/core/win_types.h"

namespace hl::platform {

std::optional<std::string_view> SystemMessageText(DWORD code) {
  static const std::map<DWORD, std::string_view> texts = {
      {0, "The operation completed successfully.\r\n"},
      {1, "Incorrect function.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {4, "The system cannot open the file.\r\n"},
      {5, "Access is denied.\r\n"},
      {6, "The handle is invalid.\r\n"},
      {8, "Not enough memory resources are available to process this command.\r\n"},
      {13, "The data is invalid.\r\n"},
      {14, "Not enough memory resources are available to complete this operation.\r\n"},
      {15, "The system cannot find the drive specified.\r\n"},
      {17, "The system cannot move the file to a different disk drive.\r\n"},
      {18, "There are no more files.\r\n"},
      {21, "The device is not ready.\r\n"},
      {29, "The system cannot write to the specified device.\r\n"},
      {30, "The system cannot read from the specified device.\r\n"},
      {31, "A device attached to the system is not functioning.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {33, "The process cannot access the file because another process has locked a portion of the file.\r\n"},
      {38, "Reached the end of the file.\r\n"},
      {50, "The request is not supported.\r\n"},
      {53, "The network path was not found.\r\n"},
      {67, "The network name cannot be found.\r\n"},
      {80, "The file exists.\r\n"},
      {87, "The parameter is incorrect.\r\n"},
      {109, "The pipe has been ended.\r\n"},
      {111, "The file name is too long.\r\n"},
      {112, "There is not enough space on the disk.\r\n"},
      {120, "This function is not supported on this system.\r\n"},
      {122, "The data area passed to a system call is too small.\r\n"},
      {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
      {126, "The specified module could not be found.\r\n"},
      {127, "The specified procedure could not be found.\r\n"},
      {131, "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
      {145, "The directory is not empty.\r\n"},
      {161, "The specified path is invalid.\r\n"},
      {170, "The requested resource is in use.\r\n"},
      {183, "Cannot create a file when that file already exists.\r\n"},
      {193, "%1 is not a valid Win32 application.\r\n"},
      {203, "The system could not find the environment option that was entered.\r\n"},
      {206, "The filename or extension is too long.\r\n"},
      {234, "More data is available.\r\n"},
      {258, "The wait operation timed out.\r\n"},
      {259, "No more data is available.\r\n"},
      {267, "The directory name is invalid.\r\n"},
      {288, "Attempt to release mutex not owned by caller.\r\n"},
      {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
      {997, "Overlapped I/O operation is in progress.\r\n"},
      {998, "Invalid access to memory location.\r\n"},
      {1004, "Invalid flags.\r\n"},
      {1008, "An attempt was made to reference a token that does not exist.\r\n"},
      {1009, "The configuration registry database is corrupt.\r\n"},
      {1010, "The configuration registry key is invalid.\r\n"},
      {1011, "The configuration registry key could not be opened.\r\n"},
      {1012, "The configuration registry key could not be read.\r\n"},
      {1013, "The configuration registry key could not be written.\r\n"},
      {1015,
       "The registry is corrupted. The structure of one of the files containing registry data is corrupted, or "
       "the system's memory image of the file is corrupted, or the file could not be recovered because the "
       "alternate copy or log was absent or corrupted.\r\n"},
      {1016,
       "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or write "
       "out, or flush, one of the files that contain the system's image of the registry.\r\n"},
      {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
      {1021, "Cannot create a stable subkey under a volatile parent key.\r\n"},
      {1052, "The requested control is not valid for this service.\r\n"},
      {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
      {1056, "An instance of the service is already running.\r\n"},
      {1060, "The specified service does not exist as an installed service.\r\n"},
      {1061, "The service cannot accept control messages at this time.\r\n"},
      {1062, "The service has not been started.\r\n"},
      {1072, "The specified service has been marked for deletion.\r\n"},
      {1073, "The specified service already exists.\r\n"},
      {1113, "No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
      {1114, "A dynamic link library (DLL) initialization routine failed.\r\n"},
      {1168, "Element not found.\r\n"},
      {1223, "The operation was canceled by the user.\r\n"},
      {1326, "The user name or password is incorrect.\r\n"},
      {1355, "The specified domain either does not exist or could not be contacted.\r\n"},
      {1450, "Insufficient system resources exist to complete the requested service.\r\n"},
      {1460, "This operation returned because the timeout period expired.\r\n"},
      {1609, "Handle is in an invalid state.\r\n"},
      {1722, "The RPC server is unavailable.\r\n"},
      {1813, "The specified resource type cannot be found in the image file.\r\n"},
      // HRESULTs outside FACILITY_WIN32 that the system also describes.
      {0x80004001u, "Not implemented\r\n"},
      {0x80004002u, "No such interface supported\r\n"},
      {0x80004003u, "Invalid pointer\r\n"},
      {0x80004005u, "Unspecified error\r\n"},
  };
  auto it = texts.find(code);
  if (it == texts.end() && (code & 0xFFFF0000u) == 0x80070000u) it = texts.find(code & 0xFFFFu);
  if (it == texts.end()) return std::nullopt;
  return it->second;
}

}  // namespace hl::platform

// This module is responsible for the server half of the resource-ID lookup: GET_DATA of the
// resource document from the main server, its import as rows of table "Agentparams", and
// the RESOURCE_ID row's param_Value stored as the agent's resource ID.
//
// How: the import needs the table's definition in the store's dictionary, which nothing else
// in the prereq tool loads; when it is missing, a definition with the two text columns read
// here is added first (columns of the document it does not name are not kept).
#include "transport/resource_id_fetch.h"

#include <memory>

#include "agent/log/log.h"
#include "tessera/schema/build_table_defn.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/table/select_rows.h"
#include "tessera/xml/xml_import.h"
#include "transport/routing.h"

namespace {

constexpr char kParamsTable[] = "Agentparams";

bool EnsureAgentParamsDefinition() {
  if (tessera::GetTableDefn(kParamsTable) != nullptr) return true;
  auto columns = std::make_unique<tessera::ColumnVector>();
  for (const char* name : {"PARAM_NAME", "param_Value"})
    columns->AddData(tessera::CreateColumnDefn(name, tessera::CRV_SQL_TEXT, 0, nullptr, nullptr, nullptr));
  return tessera::AddTableDefn(tessera::CreateTableDefn(kParamsTable, "Parameters the management server hands out",
                                                        std::move(columns), nullptr));
}

}  // namespace

int FetchResourceIdFromServer(const std::string& path, OptString& resourceId) {
  std::optional<std::string> answer;
  int result = AgentSendRequestData(path.c_str(), &answer, 1);
  if (result != 0) {
    LogError("GetResourceIDFromServer : Unable to get the reource id xml from %s path and the error code is %d \n",
             path, result);
    return result;
  }
  std::string text = answer.value_or("");
  if (!EnsureAgentParamsDefinition()) {
    LogError("GetResourceIDFromServer : the definition of table %s could not be added \n", kParamsTable);
  }
  SetLastError(0);
  if (!tessera::LoadTableDataFromXMLBuffer(text.c_str(), static_cast<int32_t>(text.size()))) {
    DWORD error = GetLastError();
    if (error == 0) error = ERROR_INVALID_DATA;
    LogError("GetResourceIDFromServer : Error occured (%d) while loading resource id buffer to the memory : \n %s \n",
             static_cast<int>(error), text);
    return static_cast<int>(error);
  }
  std::unique_ptr<tessera::ResultData> rows = tessera::SelectRows(kParamsTable, "PARAM_NAME='RESOURCE_ID'");
  if (!rows) {
    LogError("GetResourceIDFromServer :No rows found corresponding to the resource id in the resource id xml .\n");
    return 0;
  }
  if (tessera::GotoNextRowObject(rows.get()) == nullptr) {
    LogError("GetResourceIDFromServer : No row objects corresponding to the resource id is found \n");
  } else {
    int32_t length = 0;
    const tessera::Value* value = tessera::GetColumnValueByName("param_Value", &length, rows.get());
    if (value == nullptr) {
      LogError("GetResourceIDFromServer : Error while allocating the value of resourceid \n");
    } else {
      resourceId = std::string(value->bytes());
      LogInfo("GetResourceIDFromServer : The Resource ID from the server is given  by %s \n", *resourceId);
      SetAgentResourceID(resourceId->c_str());
    }
  }
  tessera::FreeResultData(std::move(rows));
  return 0;
}

void InstallResourceIdFetcher() { SetResourceIdFetcher(&FetchResourceIdFromServer); }

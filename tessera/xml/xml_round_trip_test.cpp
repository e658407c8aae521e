// Export followed by import gives the same rows, for every column type of the example
// dictionary and every writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <string>
#include <vector>

#include "tessera/values/value_convert.h"
#include "tessera/xml/column_value.h"
#include "tessera/xml/xml_export.h"
#include "tessera/xml/xml_test_support.h"

namespace tessera {
namespace {

using test::Import;
using test::IntOf;
using test::TextOf;

// One row of every table, a second one of most tables leaving columns to their defaults, texts
// with the characters XML reserves, non-ASCII letters, a tab, a line break and colons.
const char* const kEveryType = R"(<?xml version="1.0" encoding="UTF-8"?>
<Everything>
  <Agentparams PARAM_ID="1" PARAM_NAME="RESOURCE_ID" param_Value="a &quot;quoted&quot; &amp; &lt;bracketed&gt; value, Grüße" PARAM_TYPE="STRING" UPDATED_AT="2024-03-12 08:30:00"/>
  <Agentparams PARAM_ID="2" PARAM_NAME="DEFAULTS_ONLY"/>
  <ServerInfo SERVER_ID="3" SERVER_NAME="srv-ünï.example" HTTP_PORT="8080" SECURE_PORT="8443" PROTOCOL="HTTP" IS_DISTRIBUTION="true" TIMEOUT_SECONDS="3000000000"/>
  <ServerInfo SERVER_ID="4" SERVER_NAME="defaults"/>
  <Computer DOMAIN_NAME="corp" COMPUTER_NAME="WS-1" OS_NAME="Windows 10 &lt;Pro&gt; 'N'" OS_BUILD="19045" IS_SERVER="false" LAST_BOOT="2024-03-11 07:58:12" TOTAL_MEMORY_MB="6442450944" CPU_LOAD="12.5" AGENT_VERSION="2.1.0">
    <NetworkAdapter ADAPTER_INDEX="200" MAC_ADDRESS="00-1A-2B" IP_ADDRESS="10.0.0.1" DHCP_ENABLED="false" LINK_SPEED_MBPS="-1000"/>
    <NetworkAdapter ADAPTER_INDEX="2"/>
    <InstalledProduct PRODUCT_ID="5" PRODUCT_NAME="Ελληνικά &amp; 日本語 &quot;AV&quot;" VERSION="4.18" INSTALL_DATE="2023-11-02" PRODUCT_STATE="397568" IS_ANTIVIRUS="true"/>
  </Computer>
  <Patch PATCH_ID="101" BULLETIN_ID="MS24-001" KB_NUMBER="5034441" TITLE="Fix &amp; update &lt;22H2&gt; &quot;x&quot;" SEVERITY="Critical" RELEASE_DATE="2024-01-09" SIZE_BYTES="6442450944" CVSS_SCORE="7.8" REBOOT_REQUIRED="false" SUPERSEDED_BY="102">
    <PatchDeployment DEPLOYMENT_ID="7" DOMAIN_NAME="corp" COMPUTER_NAME="WS-1" STATUS="3" SCHEDULED_AT="2024-02-14 02:00:00" MAINTENANCE_START="03:30:00" RETRY_COUNT="2" DOWNLOAD_RATE_KBPS="2048.25" PROGRESS="37.5" EXIT_CODE="-2147024891" PACKAGE_HASH="9f86d081884c7d65" DETAILS="PatchDeployment:DETAILS:see https://kb.example:443/5034441&#10;line two&#9;tabbed"/>
    <PatchDeployment DEPLOYMENT_ID="8" DOMAIN_NAME="corp" COMPUTER_NAME="WS-1"/>
  </Patch>
  <SeqGenState SEQNAME="PATCH_SEQ" CURRENTBATCHEND="600"/>
</Everything>
)";

using Snapshot = std::map<std::string, std::vector<std::vector<Value>>>;

Snapshot TakeSnapshot() {
  Snapshot snapshot;
  for (const auto& data : GetTableDataList())
    for (const RowObject* row = data->firstRow.get(); row != nullptr; row = row->next.get())
      snapshot[data->name].push_back(row->values);
  return snapshot;
}

std::string Show(const Value& value, BYTE code) { return ConvertValueToString(value, code).value_or("?"); }

// A text with two or more ":" is written as it is and so read back as a reference token: the
// column keeps the part after the second ":". Its one such column is checked on its own.
constexpr const char* kColonTable = "PatchDeployment";
constexpr const char* kColonColumn = "DETAILS";

// Every table of the snapshot holds the same rows now, compared as the writers compare values.
void ExpectSameRows(const Snapshot& expected, const std::string& how) {
  EXPECT_EQ(GetTableDataList().count(), static_cast<int32_t>(expected.size())) << how;
  for (const auto& [table, rows] : expected) {
    const TableData* data = GetTableDataByName(table.c_str());
    ASSERT_NE(data, nullptr) << how << ": " << table;
    std::vector<RowObject*> now = test::RowsOf(table.c_str());
    ASSERT_EQ(now.size(), rows.size()) << how << ": " << table;
    for (size_t r = 0; r < rows.size(); ++r) {
      for (int32_t c = 0; c < data->columnCount; ++c) {
        const ColumnDefn* column = data->ColumnDefnAt(c);
        if (table == kColonTable && column->name == kColonColumn) continue;
        const Value& before = rows[r][static_cast<size_t>(c)];
        const Value& after = *now[r]->ValueAt(c);
        EXPECT_TRUE(SameColumnValue(column->type, before, after))
            << how << ": " << table << " row " << r << " " << column->name << ": " << Show(before, column->type)
            << " became " << Show(after, column->type);
      }
    }
  }
}

class XmlRoundTripTest : public test::XmlStoreTest {
 protected:
  void SetUp() override {
    XmlStoreTest::SetUp();
    test::LoadExampleDictionary();
    ASSERT_TRUE(Import(kEveryType)) << log().Text();
    original_ = TakeSnapshot();
    ASSERT_EQ(original_.size(), 8u);
  }
  // An empty store with the same dictionary.
  static void EmptyTables() {
    FreeAllTableData();
    InitTableDataList();
  }
  std::string ExportedFile(const std::string& name) const { return (dir_.path() / (name + ".xml")).string(); }
  std::string Dir() const { return dir_.str() + "/"; }

  Snapshot original_;
  hl::test::TempDir dir_;
};

TEST_F(XmlRoundTripTest, TheSourceDocumentIsReadAsWritten) {
  EXPECT_EQ(TextOf("Agentparams", 0, "param_Value"), "a \"quoted\" & <bracketed> value, Grüße");
  EXPECT_EQ(TextOf("InstalledProduct", 0, "PRODUCT_NAME"), "Ελληνικά & 日本語 \"AV\"");
  EXPECT_EQ(TextOf("PatchDeployment", 0, "DETAILS"), "see https://kb.example:443/5034441\nline two\ttabbed");
  EXPECT_EQ(IntOf("PatchDeployment", 1, "PATCH_ID"), 101);
  EXPECT_EQ(TextOf("NetworkAdapter", 1, "COMPUTER_NAME"), "WS-1");
  EXPECT_EQ(test::ValueOf("Computer", 0, "TOTAL_MEMORY_MB").ReadUnsigned(8), 6442450944ULL);
  EXPECT_EQ(test::ValueOf("ServerInfo", 0, "HTTP_PORT").ReadUnsigned(2), 8080u);
  EXPECT_EQ(test::ValueOf("ServerInfo", 1, "HTTP_PORT").ReadUnsigned(2), 80u);  // the default
}

TEST_F(XmlRoundTripTest, EveryWriterGivesBackTheSameRows) {
  const char* tables[] = {"Agentparams", "ServerInfo", "Computer", "NetworkAdapter", "InstalledProduct",
                          "Patch", "PatchDeployment", "SeqGenState", nullptr};
  ASSERT_TRUE(ConvertTablesToXML("Plain", Dir().c_str(), 0));
  ASSERT_TRUE(ConvertTablesToXML("Tokens", Dir().c_str(), 1));
  ASSERT_TRUE(ConvertDOtoXML(tables, "Named", Dir().c_str()));
  std::optional<std::string> buffer = ConvertDOtoXMLBuffer(tables, "Buffer");
  ASSERT_TRUE(buffer);
  for (const char* name : {"Plain", "Tokens", "Named"}) {
    EmptyTables();
    ASSERT_TRUE(LoadTableDataFromXMLFile(ExportedFile(name).c_str())) << name << "\n" << log().Text();
    ExpectSameRows(original_, name);
    EXPECT_EQ(TextOf(kColonTable, 0, kColonColumn), "443/5034441\nline two\ttabbed") << name;
  }
  EmptyTables();
  ASSERT_TRUE(Import(*buffer)) << *buffer;
  ExpectSameRows(original_, "Buffer");
  EXPECT_EQ(TextOf("Patch", 0, "TITLE"), "Fix & update <22H2> \"x\"");
}

TEST_F(XmlRoundTripTest, ReferenceTokensRegenerateConsistentIdentifiers) {
  ASSERT_TRUE(ConvertTablesToXML("Tokens", Dir().c_str(), 1));
  EmptyTables();
  StartSequences({"AGENTPARAMS_SEQ", "SERVERINFO_SEQ", "PRODUCT_SEQ", "PATCH_SEQ", "DEPLOYMENT_SEQ"});
  ASSERT_TRUE(LoadTableDataFromXMLFile(ExportedFile("Tokens").c_str())) << log().Text();
  EXPECT_EQ(IntOf("Patch", 0, "PATCH_ID"), 1);  // 101 in the source store
  EXPECT_EQ(IntOf("PatchDeployment", 0, "PATCH_ID"), 1);
  EXPECT_EQ(IntOf("PatchDeployment", 1, "PATCH_ID"), 1);
  EXPECT_EQ(IntOf("PatchDeployment", 0, "DEPLOYMENT_ID"), 1);
  EXPECT_EQ(IntOf("PatchDeployment", 1, "DEPLOYMENT_ID"), 2);
  EXPECT_EQ(IntOf("Patch", 0, "SUPERSEDED_BY"), 102);  // no key: written and read plainly
  EXPECT_EQ(TextOf("NetworkAdapter", 0, "DOMAIN_NAME"), "corp");
}

TEST_F(XmlRoundTripTest, ASecondRoundTripWritesTheSameDocument) {
  // One round first: it turns the text with colons into its token's key (see kColonColumn).
  ASSERT_TRUE(ConvertTablesToXML("Zero", Dir().c_str(), 0));
  EmptyTables();
  ASSERT_TRUE(LoadTableDataFromXMLFile(ExportedFile("Zero").c_str()));
  ASSERT_TRUE(ConvertTablesToXML("First", Dir().c_str(), 0));
  EmptyTables();
  ASSERT_TRUE(LoadTableDataFromXMLFile(ExportedFile("First").c_str()));
  ASSERT_TRUE(ConvertTablesToXML("First", (Dir() + "again_").c_str(), 0));
  std::ifstream a(ExportedFile("First"), std::ios::binary), b(dir_.path() / "again_First.xml", std::ios::binary);
  std::string first((std::istreambuf_iterator<char>(a)), {}), second((std::istreambuf_iterator<char>(b)), {});
  EXPECT_EQ(first, second);
  EXPECT_FALSE(first.empty());
}

}  // namespace
}  // namespace tessera

// Runs the cross-built GoogleTest, GoogleMock, libxml2, APR and nlohmann_json from C++
// (the headers must compile warning-free there too) under Wine.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <apr_general.h>
#include <apr_pools.h>
#include <apr_strings.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <nlohmann/json.hpp>

namespace {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int now() = 0;
};

class MockClock : public Clock {
public:
    MOCK_METHOD(int, now, (), (override));
};

TEST(GoogleTestRuntime, MockExpectationsAndThreadsWork)
{
    MockClock clock;
    EXPECT_CALL(clock, now()).Times(2).WillOnce(testing::Return(1)).WillOnce(testing::Return(5));
    EXPECT_EQ(clock.now() + clock.now(), 6);

    // The posix-thread toolchain's std::thread runs on winpthread.
    std::atomic<int> counter{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&counter] { for (int j = 0; j < 1000; ++j) ++counter; });
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(counter.load(), 4000);
}

TEST(LibXml2Static, ParsesAndRejects)
{
    const std::string text = "<machine name=\"pc-1\"><os>Windows</os></machine>";
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "machine.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(doc, nullptr);
    xmlNodePtr root = xmlDocGetRootElement(doc);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "machine");
    xmlChar* name = xmlGetProp(root, reinterpret_cast<const xmlChar*>("name"));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(name), "pc-1");
    xmlFree(name);
    xmlFreeDoc(doc);

    const std::string broken = "<machine><os></machine>";
    EXPECT_EQ(xmlReadMemory(broken.data(), static_cast<int>(broken.size()), "broken.xml", nullptr,
                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
              nullptr);
    xmlCleanupParser();
}

TEST(AprStatic, PoolsWorkFromCxx)
{
    ASSERT_EQ(apr_initialize(), APR_SUCCESS);
    apr_pool_t* pool = nullptr;
    ASSERT_EQ(apr_pool_create(&pool, nullptr), APR_SUCCESS);
    EXPECT_STREQ(apr_pstrdup(pool, "agent"), "agent");
    EXPECT_EQ(strcasecmp("ABC", "abc"), 0);  // mingw's own, not a redefinition from APR
    apr_pool_destroy(pool);
    apr_terminate();
}

TEST(NlohmannJson, RoundTripsThroughText)
{
    const auto value = nlohmann::json::parse(R"({"id":7,"names":["a","b"],"ok":true})");
    EXPECT_EQ(value.at("id").get<int>(), 7);
    EXPECT_EQ(value.at("names").size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(value.dump()), value);
    EXPECT_THROW(
        {
            const auto truncated = nlohmann::json::parse("{\"id\":");
            ADD_FAILURE() << "parsed: " << truncated.dump();
        },
        nlohmann::json::parse_error);
}

}  // namespace

#include "tessera/values/vector.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "agent/log/object_lock.h"
#include "tests/support/log_capture.h"
#include "tessera/values/message_queue.h"

namespace tessera {
namespace {

signed char ByValue(const int& added, const int& existing) {
  return static_cast<signed char>(added < existing ? -1 : (added > existing ? 1 : 0));
}

std::vector<int> Contents(const Vector<int>& v) {
  std::vector<int> out;
  for (int x : v) out.push_back(x);
  return out;
}

TEST(Vector, UnorderedAppendsAndIndexRules) {
  Vector<int> v;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(v.AddData(i), 1);
  EXPECT_EQ(Contents(v), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(std::vector<int>(v.begin(), v.end()), (std::vector<int>{0, 1, 2})) << "standard iterators";
  EXPECT_EQ(v.ElementAt(0)->data, 0);
  EXPECT_EQ(v.ElementAt(2)->data, 2);
  EXPECT_EQ(v.ElementAt(3), nullptr);  // ElementAt(count)
  EXPECT_EQ(v.ElementAt(-1), nullptr);

  EXPECT_FALSE(v.InsertDataAt(9, -1));
  EXPECT_FALSE(v.InsertDataAt(9, 4));  // beyond the count
  EXPECT_TRUE(v.InsertDataAt(10, 0));
  EXPECT_TRUE(v.InsertDataAt(11, 2));
  EXPECT_TRUE(v.InsertDataAt(12, v.count()));  // appends and moves the tail
  EXPECT_EQ(v.AddData(13), 1);
  EXPECT_EQ(Contents(v), (std::vector<int>{10, 0, 11, 1, 2, 12, 13}));
  EXPECT_EQ(v.tail()->data, 13);

  auto kept = std::make_unique<VectorNode<int>>(5);
  EXPECT_FALSE(v.InsertElementAt(kept, 99));
  ASSERT_TRUE(kept) << "a refused cell stays with the caller";

  VectorNode<int>* start = v.ElementAt(2);
  EXPECT_EQ(v.GetNthElement(0, start)->data, 11);
  EXPECT_EQ(v.GetNthElement(2, start)->data, 2);
  EXPECT_EQ(v.GetNthElement(-1, start), nullptr);
  EXPECT_EQ(v.GetNthElement(v.count(), v.head()), nullptr);
}

TEST(Vector, DeletionRulesAndTail) {
  Vector<int> v;
  EXPECT_FALSE(v.DeleteElement(nullptr)) << "empty vector";
  for (int i = 0; i < 4; ++i) v.AddData(i);
  VectorNode<int> stranger(7);
  EXPECT_TRUE(v.DeleteElement(&stranger)) << "an absent cell still gives true";
  EXPECT_EQ(v.count(), 4);
  EXPECT_TRUE(v.DeleteElement(v.ElementAt(3)));
  EXPECT_EQ(v.tail()->data, 2);
  EXPECT_EQ(v.DeleteElementAt(4), 0);
  EXPECT_EQ(v.DeleteElementAt(-1), 0);
  EXPECT_EQ(v.DeleteElementAt(0), 1);
  EXPECT_EQ(Contents(v), (std::vector<int>{1, 2}));
  v.AddData(3);  // the tail moved correctly after the deletes
  EXPECT_EQ(Contents(v), (std::vector<int>{1, 2, 3}));

  int a = 1, b = 2;
  Vector<int*> pointers;
  pointers.AddData(&a);
  pointers.AddData(&b);
  EXPECT_TRUE(pointers.DeleteLCDVector(&b));
  EXPECT_FALSE(pointers.DeleteLCDVector(&b));
  EXPECT_EQ(pointers.count(), 1);
  EXPECT_EQ(a, 1) << "the data is never freed";

  v.FreeVector();
  EXPECT_EQ(v.count(), 0);
  EXPECT_EQ(v.head(), nullptr);
  EXPECT_EQ(v.tail(), nullptr);
}

TEST(Vector, OrderedInsertionSortsAndRefusesEqualElements) {
  Vector<int> v(ByValue);
  for (int x : {50, 20, 80, 10, 30, 70, 90, 60, 40, 0, 100, 55, 5}) EXPECT_EQ(v.AddData(x), 1) << x;
  EXPECT_EQ(Contents(v), (std::vector<int>{0, 5, 10, 20, 30, 40, 50, 55, 60, 70, 80, 90, 100}));
  for (int x : {0, 50, 100, 55}) {
    auto cell = std::make_unique<VectorNode<int>>(x);
    EXPECT_EQ(v.AddElement(cell), 0) << x;
    EXPECT_TRUE(cell) << "the caller keeps a refused cell";
  }
  EXPECT_EQ(v.count(), 13);
  EXPECT_EQ(v.tail()->data, 100);
  v.AddData(101);
  EXPECT_EQ(v.tail()->data, 101);
}

TEST(Vector, OrderedInsertionMatchesAReferenceOnManyInputs) {
  Vector<int> v(ByValue);
  std::vector<int> reference;
  unsigned seed = 12345;
  for (int i = 0; i < 500; ++i) {
    seed = seed * 1103515245u + 12345u;
    int x = static_cast<int>((seed >> 8) % 300);
    bool present = std::find(reference.begin(), reference.end(), x) != reference.end();
    EXPECT_EQ(v.AddData(x), present ? 0 : 1);
    if (!present) reference.insert(std::upper_bound(reference.begin(), reference.end(), x), x);
  }
  EXPECT_EQ(Contents(v), reference);
}

TEST(Vector, OperationsHoldTheVectorsObjectLock) {
  Vector<int>* self = nullptr;
  int lockedDuringCompare = 0;
  Vector<int> v([&](const int& a, const int& b) -> signed char {
    if (UnlockObject(self) == 4) {  // it was locked: take it back
      ++lockedDuringCompare;
      LockObject(self);
    }
    return ByValue(a, b);
  });
  self = &v;
  v.AddData(1);
  v.AddData(2);
  EXPECT_GT(lockedDuringCompare, 0);
  EXPECT_EQ(UnlockObject(&v), 2) << "released after the operation";

  // Concurrent appends from several threads lose nothing.
  Vector<int> shared;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&shared, t] {
      for (int i = 0; i < 200; ++i) shared.AddData(t * 1000 + i);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(shared.count(), 800);
  int walked = 0;
  for (int x : shared) walked += x >= 0;
  EXPECT_EQ(walked, 800);
}

TEST(Vector, OwningElementsMergeCloneAndQueue) {
  Vector<std::unique_ptr<std::string>> target, source;
  target.AddData(std::make_unique<std::string>("a"));
  source.AddData(std::make_unique<std::string>("b"));
  source.AddData(std::make_unique<std::string>("c"));
  EXPECT_EQ(MergeVector(target, source), 1);
  EXPECT_EQ(source.count(), 0);
  ASSERT_EQ(target.count(), 3);
  EXPECT_EQ(*target.ElementAt(2)->data, "c");
  const std::string* b = target.ElementAt(1)->data.get();
  EXPECT_TRUE(target.DeleteLCDVector(b));

  Vector<int> ordered(ByValue), extra;
  ordered.AddData(5);
  for (int x : {7, 5, 1}) extra.AddData(x);
  EXPECT_EQ(MergeVector(ordered, extra), 1);
  EXPECT_EQ(Contents(ordered), (std::vector<int>{1, 5, 7}));

  auto clone = CloneVector(&target);
  ASSERT_TRUE(clone);
  EXPECT_FALSE(clone->ordered());
  EXPECT_EQ(clone->count(), 2);
  EXPECT_EQ(clone->ElementAt(0)->data, "a");
  *target.ElementAt(0)->data = "changed";
  EXPECT_EQ(clone->ElementAt(0)->data, "a") << "owned copies";
  Vector<const char*> texts;
  texts.AddData("x");
  EXPECT_EQ(CloneVector(&texts)->ElementAt(0)->data, "x");

  hl::test::LogCapture log;
  EXPECT_EQ(CloneVector<std::string>(nullptr), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot clone vector.  Vector is NULL.\n"));
  EXPECT_NE(CreateVector<int>(), nullptr);
  EXPECT_TRUE(log.Has("[TRACE]", "\n\t@@@@@ Inside InitVector() @@@@@ \n"));

  Vector<std::unique_ptr<std::string>> queue;
  EXPECT_EQ(ReadMsgFromQueueForProcessing(queue), std::nullopt);
  AddRcvdMsgToQueue(queue, std::make_unique<std::string>("first"));
  AddRcvdMsgToQueue(queue, std::make_unique<std::string>("second"));
  EXPECT_EQ(**ReadMsgFromQueueForProcessing(queue), "first");
  EXPECT_EQ(**ReadMsgFromQueueForProcessing(queue), "second");
  EXPECT_EQ(ReadMsgFromQueueForProcessing(queue), std::nullopt);
  AddRcvdMsgToQueue(queue, std::make_unique<std::string>("again"));
  EXPECT_EQ(queue.tail(), queue.head());
}

TEST(Vector, LongListsAreFreedWithoutRecursion) {
  Vector<int> v;
  for (int i = 0; i < 200000; ++i) v.AddData(i);
  EXPECT_EQ(v.count(), 200000);
  v.InitVector(nullptr);
  EXPECT_EQ(v.count(), 0);
}

TEST(Vector, AddDataUnlessTestsAndAddsUnderOneLock) {
  Vector<int> v;
  auto same = [](int wanted) { return [wanted](const int& x) { return x == wanted; }; };
  EXPECT_EQ(v.AddDataUnless(1, same(1)), 1);
  EXPECT_EQ(v.AddDataUnless(1, same(1)), 0);
  EXPECT_EQ(v.AddDataUnless(2, same(2)), 1);
  EXPECT_EQ(Contents(v), (std::vector<int>{1, 2}));
  Vector<int> ordered(ByValue);
  EXPECT_EQ(ordered.AddDataUnless(5, same(7)), 1);
  EXPECT_EQ(ordered.AddDataUnless(3, same(7)), 1);
  EXPECT_EQ(ordered.AddDataUnless(3, same(7)), 0) << "the order still refuses equal elements";
  EXPECT_EQ(Contents(ordered), (std::vector<int>{3, 5}));
  // Many threads adding the same few elements: each ends up there once.
  Vector<int> shared;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&shared, &same] {
      for (int i = 0; i < 50; ++i) shared.AddDataUnless(i, same(i));
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(shared.count(), 50);
}

}  // namespace
}  // namespace tessera

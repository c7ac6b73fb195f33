// KernelList, NameList, the progress driver and the directory search.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernel/runtime/list.h"
#include "kernel/runtime/osfind.h"
#include "kernel/runtime/progress.h"
#include "runtime_reset.h"

namespace {

struct Node {
  Node* next;
  int value;
};

class ListTest : public RuntimeTest {
 protected:
  Node* Make(int value) {
    Node* n = nullptr;
    EXPECT_EQ(mem_alloc_zeroed(sizeof(Node), &n), 1);
    n->value = value;
    return n;
  }
  static std::string Values(const KernelList& list) {
    std::string s;
    for (void* n = list.head; n != nullptr; n = list_next(n)) s += std::to_string(static_cast<Node*>(n)->value);
    return s;
  }
};

int CompareNodes(const void* a, const void* b) {
  return static_cast<const Node*>(a)->value - static_cast<const Node*>(b)->value;
}

TEST_F(ListTest, AddPopUnlink) {
  KernelList list;
  list_init(&list);
  EXPECT_EQ(list_is_empty(&list), 1);
  Node* one = Make(1);
  list_add(&list, one, 1);
  void* out = nullptr;
  EXPECT_EQ(list_pop(&list, &out, 1), 1);  // the tail of a one-node list
  EXPECT_EQ(out, one);
  EXPECT_EQ(list.head, nullptr);
  EXPECT_EQ(list.tail, nullptr);
  EXPECT_EQ(list_pop(&list, &out, 0), 0);
  for (int v : {2, 3}) list_add(&list, Make(v), 1);
  list_add(&list, one, 0);
  Node* stray = Make(9);
  list_add(&list, stray, 5);  // other values do nothing
  EXPECT_EQ(Values(list), "123");
  void* middle = list_nth(&list, 1);
  EXPECT_EQ(list_unlink(&list, middle), 1);
  EXPECT_EQ(list.head, one);
  EXPECT_EQ(static_cast<Node*>(list.tail)->value, 3);
  EXPECT_EQ(list_unlink(&list, middle), 0);
  mem_free(&middle);
  EXPECT_EQ(list_nth(&list, list_count(&list)), nullptr);
  EXPECT_EQ(list_nth(&list, -1), nullptr);
  EXPECT_EQ(list_index_of(&list, list.tail), 1);
  EXPECT_EQ(list_index_of(&list, nullptr), -1);
  list_free_all(&list);
  EXPECT_EQ(list_is_empty(&list), 1);
  mem_free(&stray);
}

TEST_F(ListTest, SortedPositionalAndAppend) {
  KernelList list;
  list_init(&list);
  for (int v : {5, 1, 3, 3, 9}) list_insert_sorted(&list, Make(v), CompareNodes);
  EXPECT_EQ(Values(list), "13359");
  list_insert_at(&list, Make(0), 0);
  list_insert_at(&list, Make(7), 3);
  list_insert_at(&list, Make(8), 100);
  EXPECT_EQ(Values(list), "0137359" "8");
  EXPECT_EQ(static_cast<Node*>(list.tail)->value, 8);
  void* removed = nullptr;
  EXPECT_EQ(list_remove_nth(&list, &removed, 2), 1);
  EXPECT_EQ(static_cast<Node*>(removed)->value, 3);
  mem_free(&removed);
  EXPECT_EQ(list_remove_nth(&list, &removed, 50), 0);

  KernelList other;
  list_init(&other);
  list_add(&other, Make(4), 1);
  list_add(&other, Make(6), 1);
  list_append_list(&list, &other, 0);
  EXPECT_EQ(Values(list), "46" "017359" "8");
  EXPECT_NE(other.head, nullptr);  // left as it was
  list_free_all(&list);
}

TEST_F(ListTest, NameListAddFindGet) {
  struct Data {
    int32_t a;
    int32_t b;
  };
  char* sorted = nullptr;
  Data d{1, 2};
  EXPECT_EQ(namelist_add(&sorted, "B", &d, sizeof d, 1), 1);
  d = {3, 4};
  EXPECT_EQ(namelist_add(&sorted, "A", &d, sizeof d, 1), 1);  // inserted before B
  char name[16];
  Data got{};
  EXPECT_EQ(namelist_get_nth(sorted, 0, name, sizeof name, &got, sizeof got), 1);
  EXPECT_STREQ(name, "A");
  EXPECT_EQ(got.a, 3);
  EXPECT_EQ(namelist_get_nth(sorted, 1, name, sizeof name, &got, sizeof got), 1);
  EXPECT_STREQ(name, "B");
  EXPECT_EQ(namelist_get_nth(sorted, 2, name, sizeof name, nullptr, sizeof got), 0);
  EXPECT_STREQ(name, "");
  mem_free(&sorted);

  char* plain = nullptr;
  int32_t first = namelist_add(&plain, "Beta", nullptr, 4, 0);
  int32_t second = namelist_add(&plain, "alpha", nullptr, 4, 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1 + 4 + 5);
  int32_t v = 77;
  EXPECT_EQ(namelist_add(&plain, "BETA", &v, 4, 0), first);  // same name without case: same record
  int32_t found = 0;
  EXPECT_EQ(namelist_find(plain, "beta", &found, 4), 1);
  EXPECT_EQ(found, 77);
  EXPECT_EQ(namelist_find(plain, "gamma", &found, 4), 0);
  namelist_get(plain, second, name, sizeof name, &found, 4);
  EXPECT_STREQ(name, "alpha");
  EXPECT_EQ(found, 0);
  namelist_get(plain, 100000, name, sizeof name, nullptr, 4);
  EXPECT_STREQ(name, "");
  namelist_get(plain, -3, name, sizeof name, nullptr, 4);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(namelist_add(&plain, "", nullptr, 4, 0), 0);
  EXPECT_EQ(namelist_add(&plain, nullptr, nullptr, 4, 0), 0);
  EXPECT_EQ(namelist_find(nullptr, "x", nullptr, 0), 0);
  mem_test_fail_nth(1);
  EXPECT_EQ(namelist_add(&plain, "delta", nullptr, 4, 0), 0);
  EXPECT_EQ(namelist_find(plain, "alpha", nullptr, 4), 1);  // the list is intact
  mem_free(&plain);
}

int16_t StepOnce(ProgressRecord* record) {
  ++*static_cast<int*>(record->context);
  EXPECT_EQ(record->first_call, 1);
  return 0;
}

int16_t StepThree(ProgressRecord* record) {
  int& calls = *static_cast<int*>(record->context);
  EXPECT_EQ(record->first_call, calls == 0 ? 1 : 0);
  ++calls;
  progress_add(record, 1.0, 1);
  if (calls == 3) record->aborted = 1;
  return calls < 3;
}

TEST(Progress, RunCallsStepUntilDone) {
  ProgressRecord rec;
  int calls = 0;
  progress_init(&rec, &calls, "Packing graphic data...", 1, 5);
  EXPECT_EQ(rec.total, 500);
  EXPECT_EQ(progress_start(&rec, StepOnce), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(progress_get_finished(&rec), 1);

  calls = 0;
  progress_init(&rec, &calls, nullptr, 0, 3);
  EXPECT_EQ(progress_start(&rec, StepThree), 0);  // aborted
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(rec.done, 300);
  EXPECT_EQ(progress_get_finished(&rec), 0);
  progress_add(&rec, -1.0, 5);
  EXPECT_EQ(rec.done, 300);
  progress_reduce_total(&rec, 1);
  EXPECT_EQ(rec.total, 200);
  EXPECT_EQ(progress_context(&rec), &calls);
  EXPECT_EQ(progress_display_flag(), 0);
  ProgressRecord none;
  progress_init(&none, nullptr, nullptr, 0, 0);
  EXPECT_EQ(progress_run(&none), 1);  // no step function: nothing to do
  EXPECT_EQ(progress_run(nullptr), 0);
}

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ql_find_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    Touch("a.tab", 0644);
    Touch("B.TAB", 0444);
    Touch("c.dat", 0644);
    ASSERT_EQ(mkdir((dir_ + "/sub.tab").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir_ + "/other").c_str(), 0755), 0);
  }
  void TearDown() override {
    for (const char* f : {"a.tab", "B.TAB", "c.dat"}) std::remove((dir_ + "/" + f).c_str());
    rmdir((dir_ + "/sub.tab").c_str());
    rmdir((dir_ + "/other").c_str());
    rmdir(dir_.c_str());
  }
  void Touch(const char* name, mode_t mode) {
    std::string path = dir_ + "/" + name;
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    chmod(path.c_str(), mode);
  }
  std::vector<std::string> All(const std::string& pattern, uint32_t mask, std::vector<uint32_t>* attrs = nullptr) {
    std::vector<std::string> names;
    FindRecord rec{};
    for (int16_t ok = os_find_first((dir_ + "/" + pattern).c_str(), mask, &rec); ok; ok = os_find_next(&rec)) {
      names.push_back(rec.name);
      if (attrs) attrs->push_back(rec.attributes);
    }
    os_find_close(&rec);
    return names;
  }
  std::string dir_;
};

TEST_F(FindTest, PatternsAndMasks) {
  using V = std::vector<std::string>;
  std::vector<uint32_t> attrs;
  EXPECT_EQ(All("*.tab", kFindNormal, &attrs), (V{"B.TAB", "a.tab"}));
  // A file without write bits is read-only, for root too.
  EXPECT_EQ(attrs, (std::vector<uint32_t>{0x81, 0x80}));
  EXPECT_EQ(All("*.tab", kFindDirectory), (V{"sub.tab"}));
  EXPECT_EQ(All("*.dat", kFindDirectory), V{});
  EXPECT_EQ(All("*.*", kFindNormal | kFindDirectory), (V{"B.TAB", "a.tab", "c.dat", "other", "sub.tab"}));
  EXPECT_EQ(All("?.TAB", kFindNormal), (V{"B.TAB", "a.tab"}));
  EXPECT_EQ(All("none*", kFindNormal), V{});
  FindRecord rec{};
  EXPECT_EQ(os_find_first((dir_ + "/missing/*.*").c_str(), kFindNormal, &rec), 0);
  EXPECT_EQ(os_find_first(nullptr, kFindNormal, &rec), 0);
  EXPECT_EQ(os_find_next(&rec), 0);
  os_find_close(&rec);
}

}  // namespace

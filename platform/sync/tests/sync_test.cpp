#include "platform/sync/sync.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "tests/support/test_home.h"

namespace ss {
namespace {

using Clock = std::chrono::steady_clock;

struct Shared {
  std::int32_t generation;
  std::int32_t isolated;
  std::int32_t inside;   // how many processes are inside the lock right now
  std::int32_t overlaps; // times a process found another one inside
};

// Runs `body` in a child process; returns its exit status (or -1).
pid_t Spawn(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int Join(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A one-byte signal between processes.
struct Pipe {
  int fd[2];
  Pipe() { EXPECT_EQ(pipe(fd), 0); }
  ~Pipe() {
    close(fd[0]);
    close(fd[1]);
  }
  void Signal() { EXPECT_EQ(write(fd[1], "x", 1), 1); }
  bool Wait() {
    char c;
    return read(fd[0], &c, 1) == 1;
  }
};

class SyncTest : public ::testing::Test {
 protected:
  test::TempHome home_;
};

TEST_F(SyncTest, ProcessesTakeTheMutexOneAtATime) {
  const Shared initial{1, 0, 0, 0};
  auto* shared = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &initial));
  ASSERT_NE(shared, nullptr);
  HANDLE mine = CreateMutexA(nullptr, 0, ".scrollsnap");  // the last one out cleans up
  ASSERT_NE(mine, 0u);
  constexpr int kProcesses = 3, kRounds = 200;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcesses; ++p) {
    pids.push_back(Spawn([] {
      // Each child opens the mutex and the section by name itself.
      HANDLE m = CreateMutexA(nullptr, 0, ".scrollsnap");
      const Shared init{1, 0, 0, 0};
      auto* s = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &init));
      if (!m || !s) return 2;
      for (int i = 0; i < kRounds; ++i) {
        if (WaitForSingleObject(m, 10000) != WAIT_OBJECT_0) return 3;
        if (s->inside++ != 0) ++s->overlaps;
        std::int32_t g = s->generation;
        std::this_thread::yield();
        s->generation = g + 1;
        --s->inside;
        if (!ReleaseMutex(m)) return 4;
      }
      return 0;
    }));
  }
  for (pid_t pid : pids) EXPECT_EQ(Join(pid), 0);
  EXPECT_EQ(shared->generation, 1 + kProcesses * kRounds);
  EXPECT_EQ(shared->overlaps, 0);
  EXPECT_TRUE(CloseHandle(mine));
  UnmapSharedSection(shared);
}

TEST_F(SyncTest, WaitGivesUpAfterItsBound) {
  HANDLE m = CreateMutexA(nullptr, 0, ".scrollsnap");
  ASSERT_NE(m, 0u);
  Pipe taken, done;
  pid_t child = Spawn([&] {
    HANDLE own = CreateMutexA(nullptr, 0, ".scrollsnap");
    if (WaitForSingleObject(own, 5000) != WAIT_OBJECT_0) return 1;
    taken.Signal();
    done.Wait();
    return ReleaseMutex(own) ? 0 : 2;
  });
  ASSERT_TRUE(taken.Wait());
  auto start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(m, 300), WAIT_TIMEOUT);
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_GE(waited, 290);
  EXPECT_LT(waited, 3000);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
  // The wait that timed out owns nothing: its release fails harmlessly.
  EXPECT_EQ(ReleaseMutex(m), 0);
  done.Signal();
  EXPECT_EQ(Join(child), 0);
  EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(CloseHandle(m));
}

TEST_F(SyncTest, MutexOfADeadOwnerIsAbandonedToTheNextWaiter) {
  HANDLE m = CreateMutexA(nullptr, 0, ".scrollsnap");
  ASSERT_NE(m, 0u);
  pid_t child = Spawn([&] {
    // Dies holding the mutex.
    return WaitForSingleObject(m, 1000) == WAIT_OBJECT_0 ? 0 : 1;
  });
  ASSERT_EQ(Join(child), 0);
  EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_ABANDONED);
  // The waiter owns it now, and it is whole again.
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

TEST_F(SyncTest, OwnershipIsPerThreadAndRecursive) {
  HANDLE m = CreateMutexA(nullptr, 0, ".scrollsnap");
  ASSERT_NE(m, 0u);
  EXPECT_EQ(ReleaseMutex(m), 0);  // not owned yet
  EXPECT_EQ(WaitForSingleObject(m, 100), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 100), WAIT_OBJECT_0);  // the owner may wait again
  std::thread([&] {
    EXPECT_EQ(WaitForSingleObject(m, 50), WAIT_TIMEOUT);
    EXPECT_EQ(ReleaseMutex(m), 0);  // another thread cannot release it
  }).join();
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(ReleaseMutex(m), 0);

  // Initial ownership goes to the creator only.
  HANDLE owned = CreateMutexA(nullptr, 1, "owned");
  ASSERT_NE(owned, 0u);
  std::thread([&] { EXPECT_EQ(WaitForSingleObject(owned, 50), WAIT_TIMEOUT); }).join();
  HANDLE second = CreateMutexA(nullptr, 1, "owned");  // exists: opened, not owned again
  EXPECT_TRUE(ReleaseMutex(owned));
  EXPECT_EQ(ReleaseMutex(second), 0);

  EXPECT_TRUE(CloseHandle(m));
  EXPECT_TRUE(CloseHandle(owned));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(CloseHandle(m), 0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_FAILED);

  // Unnamed mutexes are private to their handle.
  HANDLE a = CreateMutexA(nullptr, 0, nullptr);
  HANDLE b = CreateMutexA(nullptr, 0, nullptr);
  ASSERT_NE(a, 0u);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
  std::thread([&] { EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0); ReleaseMutex(b); }).join();
  ReleaseMutex(a);
  CloseHandle(a);
  CloseHandle(b);
}

TEST_F(SyncTest, SectionIsSharedWhileMappedAndStartsAgainAfterwards) {
  const Shared initial{1, 0, 0, 0};
  auto* s = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &initial));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->generation, 1);
  s->generation = 5;

  // A second process sees the current words, and its change comes back.
  pid_t child = Spawn([] {
    const Shared init{1, 0, 0, 0};
    auto* c = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &init));
    if (!c || c->generation != 5) return 1;
    c->generation = 6;
    c->isolated = 1;
    UnmapSharedSection(c);
    return 0;
  });
  ASSERT_EQ(Join(child), 0);
  EXPECT_EQ(s->generation, 6);
  EXPECT_EQ(s->isolated, 1);

  // A second mapping in the same process is the same block.
  auto* again = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &initial));
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, s);
  again->generation = 7;
  EXPECT_EQ(s->generation, 7);
  UnmapSharedSection(again);
  UnmapSharedSection(s);

  // Nobody maps it any more: the next one starts from the initial contents.
  auto* fresh = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &initial));
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->generation, 1);
  EXPECT_EQ(fresh->isolated, 0);
  UnmapSharedSection(fresh);
}

TEST_F(SyncTest, SectionOfACrashedProcessStartsAgain) {
  pid_t child = Spawn([] {
    const Shared init{1, 0, 0, 0};
    auto* c = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &init));
    if (!c) return 1;
    c->generation = 99;
    return 0;  // exits without unmapping
  });
  ASSERT_EQ(Join(child), 0);
  const Shared initial{1, 0, 0, 0};
  auto* s = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &initial));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->generation, 1);
  UnmapSharedSection(s);
}

TEST_F(SyncTest, TwoHomesNeverMeet) {
  const Shared initial{1, 0, 0, 0};
  auto* a = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &initial));
  ASSERT_NE(a, nullptr);
  a->generation = 42;
  HANDLE ma = CreateMutexA(nullptr, 0, ".scrollsnap");
  ASSERT_EQ(WaitForSingleObject(ma, 0), WAIT_OBJECT_0);
  {
    test::TempHome other;
    auto* b = static_cast<Shared*>(MapSharedSection("state", sizeof(Shared), &initial));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->generation, 1);
    HANDLE mb = CreateMutexA(nullptr, 0, ".scrollsnap");
    // Another home's mutex is free although ours is held (by this thread, so
    // try from another one).
    std::thread([&] {
      EXPECT_EQ(WaitForSingleObject(mb, 0), WAIT_OBJECT_0);
      ReleaseMutex(mb);
      EXPECT_EQ(WaitForSingleObject(ma, 0), WAIT_TIMEOUT);
    }).join();
    CloseHandle(mb);
    UnmapSharedSection(b);
  }
  EXPECT_EQ(a->generation, 42);
  ReleaseMutex(ma);
  CloseHandle(ma);
  UnmapSharedSection(a);
  EXPECT_EQ(MapSharedSection(nullptr, 8, nullptr), nullptr);
  EXPECT_EQ(MapSharedSection("x", 0, nullptr), nullptr);
}

bool g_closed = false;
bool CloseSeven(HANDLE h) {
  if (h != 7) return false;
  g_closed = true;
  return true;
}

TEST_F(SyncTest, CloseHandleReachesOtherServicesHandles) {
  static bool registered = false;  // closers stay for the life of the process
  if (!registered) RegisterHandleCloser(&CloseSeven);
  registered = true;
  g_closed = false;
  EXPECT_TRUE(CloseHandle(7));
  EXPECT_TRUE(g_closed);
  EXPECT_EQ(CloseHandle(8), 0);
}

}  // namespace
}  // namespace ss

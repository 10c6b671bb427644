// SimLoop's hand-off of the web server's commands to the simulation thread, with the real module
// in a live session: a request waits no longer than its timeout, whether its command is still
// queued (withdrawn: it never runs) or already taken by the simulation thread (it runs to its end
// later, on data it owns, and its late result goes to no other request).
#include "host/live/sim_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "host/live/live_session.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using host::live::LiveSession;
using host::live::SessionCommand;
using host::live::SimLoop;
using host::live::SimStatus;

// Far beyond the short waits the cases give their requests; a request still waiting after this
// is waiting on the command, not on its timeout.
constexpr auto ANSWER_DEADLINE = 5s;

// Whether `condition` held within ANSWER_DEADLINE, looked at every millisecond.
template <typename Condition>
bool until(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + ANSWER_DEADLINE;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A command that says it was `taken` (if asked), holds the simulation thread until `gate` opens,
// then counts itself in `ran`. It owns all it touches, as every command must.
SessionCommand held_until(std::shared_future<void> gate, std::shared_ptr<std::atomic<int>> ran,
                          std::shared_ptr<std::promise<void>> taken = nullptr) {
  return [gate, ran, taken](LiveSession&, SimStatus&) -> std::string {
    if (taken) taken->set_value();
    gate.wait();
    ++*ran;
    return "late result";
  };
}

// A live session on the real module, in a temporary working folder.
class LiveLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        fs::temp_directory_path() /
        ("ins-sim-loop-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    host::live::SessionOptions options;
    options.module_path = INS_MODULE_PATH;
    options.working_folder = folder_;
    options.gauges = {"INS"};
    session_ = std::make_unique<LiveSession>(options);
    loop_ = std::make_unique<SimLoop>(*session_);
    loop_->start();
  }
  void TearDown() override {
    loop_.reset();
    session_.reset();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path folder_;
  std::unique_ptr<LiveSession> session_;
  std::unique_ptr<SimLoop> loop_;
};

// A command that holds the simulation thread until `open_gate`, handed in with a long timeout,
// and once the thread has taken it (`first_taken`) a second one behind it with
// `queued_timeout`; each request waits on a thread of its own.
struct HeldAndQueued {
  HeldAndQueued(SimLoop& loop, std::chrono::milliseconds queued_timeout) {
    auto taken = std::make_shared<std::promise<void>>();
    const std::shared_future<void> gate = gate_opener.get_future().share();
    first = std::async(std::launch::async, [&loop, gate, ran = first_ran, taken] {
      return loop.submit(held_until(gate, ran, taken), 10s);
    });
    first_taken = taken->get_future().wait_for(ANSWER_DEADLINE) == std::future_status::ready;
    if (!first_taken) return;
    queued = std::async(std::launch::async, [&loop, gate, ran = queued_ran, queued_timeout] {
      return loop.submit(held_until(gate, ran), queued_timeout);
    });
  }
  ~HeldAndQueued() {
    if (!opened) open_gate();  // nothing is left waiting on the gate
  }
  void open_gate() {
    opened = true;
    gate_opener.set_value();
  }

  std::promise<void> gate_opener;
  bool opened = false;
  bool first_taken = false;
  std::shared_ptr<std::atomic<int>> first_ran = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::atomic<int>> queued_ran = std::make_shared<std::atomic<int>>(0);
  std::future<std::string> first;
  std::future<std::string> queued;
};

// The simulation thread has taken the command and does not finish it (a stalled disk): the
// request is answered when its timeout ends, not when the command does.
TEST_F(LiveLoop, ACommandTakenButNotFinishedInTimeIsAnsweredAtItsTimeout) {
  std::promise<void> open_gate;
  auto taken = std::make_shared<std::promise<void>>();
  auto ran = std::make_shared<std::atomic<int>>(0);
  auto request = std::async(std::launch::async, [&] {
    return loop_->submit(held_until(open_gate.get_future().share(), ran, taken), 200ms);
  });
  ASSERT_EQ(taken->get_future().wait_for(ANSWER_DEADLINE), std::future_status::ready);
  const bool answered = request.wait_for(ANSWER_DEADLINE) == std::future_status::ready;
  open_gate.set_value();  // in any case, so that nothing is left waiting
  ASSERT_TRUE(answered) << "the request waited on its command past its timeout";
  EXPECT_EQ(request.get(),
            "the simulation did not finish the command in 200 ms; it may still "
            "take effect");

  // The command still runs to its end, after its request has gone; the next request gets its
  // own result, not the late one.
  EXPECT_EQ(loop_->submit([ran](LiveSession&, SimStatus&) { return std::to_string(ran->load()); }),
            "1");
}

// Still queued behind a command that holds the thread: withdrawn at its timeout, never run.
TEST_F(LiveLoop, ACommandStillQueuedAtItsTimeoutIsWithdrawnAndNeverRuns) {
  HeldAndQueued held(*loop_, 100ms);
  ASSERT_TRUE(held.first_taken);
  const bool answered = held.queued.wait_for(ANSWER_DEADLINE) == std::future_status::ready;
  held.open_gate();
  ASSERT_TRUE(answered);
  EXPECT_EQ(held.queued.get(), "the simulation did not answer in time; nothing changed");
  EXPECT_EQ(held.first.get(), "late result");
  EXPECT_EQ(loop_->submit([first_ran = held.first_ran, queued_ran = held.queued_ran](LiveSession&,
                                                                                     SimStatus&) {
    return std::to_string(first_ran->load()) + " " + std::to_string(queued_ran->load());
  }),
            "1 0");
}

// Commands run on the simulation thread in the order they came, each request answered with its
// own command's result (an exception's message for one that throws).
TEST_F(LiveLoop, CommandsRunInOrderEachAnsweredWithItsOwnResult) {
  auto order = std::make_shared<std::string>();
  const auto appending = [order](std::string mark) -> SessionCommand {
    return [order, mark](LiveSession&, SimStatus&) {
      *order += mark;
      return "ran " + mark;
    };
  };
  EXPECT_EQ(loop_->submit(appending("a")), "ran a");
  EXPECT_EQ(loop_->submit(appending("b")), "ran b");
  EXPECT_EQ(loop_->submit([](LiveSession&, SimStatus&) -> std::string {
    throw std::runtime_error("refused by the session");
  }),
            "refused by the session");
  EXPECT_EQ(loop_->submit([order](LiveSession&, SimStatus& status) {
    status.paused = true;  // the loop's own status, changed on its thread
    return *order;
  }),
            "ab");
  // Published before the request was answered.
  const auto after = loop_->state();
  EXPECT_NE(after.json->find("\"paused\":true"), std::string::npos) << *after.json;
}

// The loop stops while a command holds its thread and another waits behind it: the one taken
// runs to its end, the one queued is answered that the simulation stopped and never runs, and
// a request after the stop is answered at once without running.
TEST_F(LiveLoop, StoppingAnswersTheQueuedCommandsWithoutRunningThem) {
  HeldAndQueued held(*loop_, 10s);
  ASSERT_TRUE(held.first_taken);
  ASSERT_TRUE(until([&] { return loop_->commands_waiting() == 1; })) << "never queued";
  auto stopping = std::async(std::launch::async, [&] { loop_->stop(); });
  const bool stop_asked = until([&] { return !loop_->running(); });
  held.open_gate();
  ASSERT_TRUE(stop_asked);
  ASSERT_EQ(stopping.wait_for(ANSWER_DEADLINE), std::future_status::ready);
  EXPECT_EQ(held.first.get(), "late result");
  EXPECT_EQ(held.queued.get(), "the simulation has stopped");
  EXPECT_EQ(held.first_ran->load(), 1);
  EXPECT_EQ(held.queued_ran->load(), 0);

  auto after_ran = std::make_shared<std::atomic<int>>(0);
  EXPECT_EQ(loop_->submit([after_ran](LiveSession&, SimStatus&) {
    ++*after_ran;
    return std::string();
  }),
            "the simulation has stopped");
  EXPECT_EQ(after_ran->load(), 0);
}

// A client that asks the moment the loop has started (the server answers at once) gets the
// panel's state, not an empty one.
TEST_F(LiveLoop, TheStateIsPublishedBeforeStartReturns) {
  const auto first = loop_->state();
  ASSERT_NE(first.json, nullptr);
  EXPECT_GE(first.seq, 1u);
  EXPECT_NE(first.json->find("\"aircraft\""), std::string::npos) << *first.json;
}

}  // namespace

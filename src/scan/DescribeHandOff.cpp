#include "scan/DescribeHandOff.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"

unsigned DefaultDescribeThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

namespace {

// Files handed over and not finished yet, beyond which the walk waits: it
// bounds the memory of a walk that runs far ahead of its describers.
constexpr size_t kMostPending = 256;

// The scan as a worker's describer sees it: the file's path, and a log kept
// for the walk's thread to write in order.
class JobHost : public IDescribeHost {
 public:
  JobHost(const std::string& path, std::vector<std::string>& log) : path_(path), log_(log) {}
  std::string PhysicalPath(const CFileItemList&, size_t) override { return path_; }
  void LogScanError(const std::string& line) override { log_.push_back(line); }

 private:
  const std::string& path_;
  std::vector<std::string>& log_;
};

}  // namespace

struct CDescribeHandOff::Job {
  CFileItem* target = nullptr;
  CFileItemList one;  // a copy of the item, described in its place
  std::string path;
  std::vector<std::string> log;
  int produced = 0;
  std::exception_ptr error;
  bool done = false;  // guarded by the pool's mutex
};

// Jobs in hand-over order; workers take them from the front, and the walk's
// thread takes the finished ones off the front.
class CDescribeHandOff::Pool {
 public:
  Pool(unsigned workers, std::function<void(Job&)> run) : run_(std::move(run)) {
    for (unsigned k = 0; k < workers; ++k) threads_.emplace_back([this] { Work(); });
  }
  ~Pool() {
    Cancel();
    {
      std::lock_guard<std::mutex> lock(m_);
      quit_ = true;
    }
    work_.notify_all();
    for (auto& t : threads_) t.join();
  }

  void Push(std::unique_ptr<Job> job) {
    {
      std::lock_guard<std::mutex> lock(m_);
      jobs_.push_back(std::move(job));
    }
    work_.notify_one();
  }

  size_t Pending() {
    std::lock_guard<std::mutex> lock(m_);
    return jobs_.size();
  }

  // The oldest job once it is described, or nothing when none is pending
  // (or, without wait, when the oldest is not described yet). While waiting
  // this thread describes jobs no worker has taken.
  std::unique_ptr<Job> PopDone(bool wait) {
    std::unique_lock<std::mutex> lock(m_);
    while (!jobs_.empty() && !jobs_.front()->done) {
      if (!wait) return nullptr;
      if (started_ < jobs_.size()) {
        RunLocked(lock, *jobs_[started_++]);
      } else {
        done_.wait(lock);
      }
    }
    if (jobs_.empty()) return nullptr;
    std::unique_ptr<Job> job = std::move(jobs_.front());
    jobs_.pop_front();
    --started_;
    return job;
  }

  void Cancel() {
    std::unique_lock<std::mutex> lock(m_);
    jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(started_), jobs_.end());
    done_.wait(lock, [this] { return std::all_of(jobs_.begin(), jobs_.end(), [](auto& j) { return j->done; }); });
    jobs_.clear();
    started_ = 0;
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
      work_.wait(lock, [this] { return quit_ || started_ < jobs_.size(); });
      if (quit_) return;
      RunLocked(lock, *jobs_[started_++]);
    }
  }

  // Runs a job taken under the lock, without holding it.
  void RunLocked(std::unique_lock<std::mutex>& lock, Job& job) {
    lock.unlock();
    run_(job);
    lock.lock();
    job.done = true;
    done_.notify_all();
  }

  std::function<void(Job&)> run_;
  std::mutex m_;
  std::condition_variable work_, done_;
  std::deque<std::unique_ptr<Job>> jobs_;
  size_t started_ = 0;  // jobs_[0, started_) were taken by a thread
  bool quit_ = false;
  std::vector<std::thread> threads_;
};

CDescribeHandOff::CDescribeHandOff(unsigned threads, FileDescriberHook describe, const DescribeSettings& settings,
                                   Finished finished)
    : describe_(std::move(describe)), settings_(settings), finished_(std::move(finished)) {
  pool_ = std::make_unique<Pool>(std::max(1u, threads - 1), [this](Job& job) {
    JobHost host(job.path, job.log);
    try {
      job.produced = describe_(job.one, 0, settings_, host);
    } catch (...) {
      job.error = std::current_exception();
    }
  });
}

CDescribeHandOff::~CDescribeHandOff() = default;

void CDescribeHandOff::Add(CFileItem& item, const std::string& diskPath) {
  auto job = std::make_unique<Job>();
  job->target = &item;
  job->one.items.push_back(std::make_unique<CFileItem>(item));
  job->path = diskPath;
  pool_->Push(std::move(job));
  while (auto done = pool_->PopDone(false)) FinishJob(*done);
  while (pool_->Pending() > kMostPending)
    if (auto done = pool_->PopDone(true)) FinishJob(*done);
}

void CDescribeHandOff::FinishAll() {
  while (auto done = pool_->PopDone(true)) FinishJob(*done);
}

void CDescribeHandOff::Cancel() { pool_->Cancel(); }

void CDescribeHandOff::FinishJob(Job& job) {
  // What a describer throws past its own catching ends the scan, as it
  // would on one thread.
  if (job.error) std::rethrow_exception(job.error);
  CFileItem& described = *job.one[0];
  job.target->description = std::move(described.description);
  job.target->thumbnail = std::move(described.thumbnail);
  finished_(job.log, job.produced != 0);
}

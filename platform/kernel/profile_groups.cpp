#include "kernel/profile_groups.h"

#include "kernel/case_fold.h"
#include "kernel/profile_writer.h"

#include <korutil/platform/errors.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace korutil::detail {
namespace {

using Clock = std::chrono::steady_clock;

// A run has ended when no write has joined it for this long; a run that goes on and on is
// written out after the longer time all the same.
constexpr auto kQuiet = std::chrono::milliseconds(10);
constexpr auto kLongest = std::chrono::milliseconds(100);

struct Run {
    bool makeDirectory = false;
    std::vector<ProfileWrite> writes;
    std::unordered_set<std::string> keys; // section and key of each write, folded
    std::shared_ptr<const IniDocument> viewBase;
    std::shared_ptr<const IniDocument> view; // viewBase with the writes applied, for readers
    Clock::time_point first;
    Clock::time_point last;
};

struct Runs {
    std::mutex lock;
    std::condition_variable wake;
    std::unordered_map<std::string, Run> byPath;
    std::atomic<bool> any{false};
    bool writerStarted = false;
    bool exiting = false;
    bool forked = false;          // a forked child starts no thread: its writes go out at once
    const Runs* parent = nullptr; // the instance this one replaced in a forked child
};

// Never destroyed: the writer thread may still wait on it while the process exits. A child
// process starts without runs (its parent writes them) and, since a forked process should
// not count on threads, writes at once.
Runs* g_runs = nullptr;

Runs& runs() {
    static const bool ready = [] {
        g_runs = new Runs;
        pthread_atfork(nullptr, nullptr, [] {
            Runs* fresh = new Runs;
            fresh->forked = true;
            fresh->parent = g_runs; // kept as it was: its lock may be held for good
            g_runs = fresh;
        });
        return true;
    }();
    (void)ready;
    return *g_runs;
}

std::string keyOf(const ProfileWrite& write) {
    return caseFoldKey(write.section) + '\0' + caseFoldKey(*write.key);
}

DWORD commit(const std::string& path, Run& run) {
    const DWORD error = writeProfileFile(path, run.makeDirectory, run.writes);
    run.writes.clear();
    run.keys.clear();
    run.view.reset();
    run.viewBase.reset();
    return error;
}

void noteWhetherAny(Runs& r) {
    r.any.store(!r.byPath.empty(), std::memory_order_release);
}

void writeOutAtExit() {
    Runs& r = runs();
    std::lock_guard<std::mutex> guard(r.lock);
    r.exiting = true;
    for (auto& [path, run] : r.byPath) {
        commit(path, run);
    }
    r.byPath.clear();
    noteWhetherAny(r);
}

void writerLoop(Runs* r) {
    std::unique_lock<std::mutex> hold(r->lock);
    for (;;) {
        const Clock::time_point now = Clock::now();
        Clock::time_point next = Clock::time_point::max();
        for (auto it = r->byPath.begin(); it != r->byPath.end();) {
            const Clock::time_point due =
                std::min(it->second.last + kQuiet, it->second.first + kLongest);
            if (due <= now) {
                commit(it->first, it->second);
                it = r->byPath.erase(it);
            } else {
                next = std::min(next, due);
                ++it;
            }
        }
        noteWhetherAny(*r);
        if (next == Clock::time_point::max()) {
            r->wake.wait(hold);
        } else {
            r->wake.wait_until(hold, next);
        }
    }
}

// False when no thread can be had; the caller then writes at once.
bool startWriter(Runs& r) {
    if (r.writerStarted || r.forked) {
        return r.writerStarted;
    }
    try {
        std::thread(writerLoop, &r).detach();
    } catch (const std::system_error&) {
        return false;
    }
    r.writerStarted = true;
    static const bool registered = std::atexit(writeOutAtExit) == 0;
    (void)registered;
    return true;
}

} // namespace

DWORD deferWrite(const std::string& path, bool makeDirectory, ProfileWrite write) {
    Runs& r = runs();
    std::unique_lock<std::mutex> hold(r.lock);
    if (r.exiting || !startWriter(r)) {
        hold.unlock();
        return writeProfileFile(path, makeDirectory, {std::move(write)});
    }
    auto it = r.byPath.find(path);
    if (it == r.byPath.end()) {
        const DWORD error = checkProfileWritable(path, makeDirectory);
        if (error != NO_ERROR) {
            return error;
        }
        it = r.byPath.emplace(path, Run()).first;
        it->second.makeDirectory = makeDirectory;
        r.wake.notify_one();
    }
    Run& run = it->second;
    if (write.key) {
        std::string key = keyOf(write);
        if (run.keys.count(key)) {
            commit(path, run); // a record saved again: the last save is complete
        }
        run.keys.insert(std::move(key));
    }
    const Clock::time_point now = Clock::now();
    if (run.writes.empty()) {
        run.first = now;
    }
    run.last = now;
    // Readers may still hold the view: it is never changed, but built afresh when next asked
    // for.
    run.view.reset();
    run.viewBase.reset();
    run.writes.push_back(std::move(write));
    noteWhetherAny(r);
    return NO_ERROR;
}

DWORD flushPending(const std::string* path) {
    Runs& r = runs();
    if (!r.any.load(std::memory_order_acquire)) {
        return NO_ERROR;
    }
    std::lock_guard<std::mutex> guard(r.lock);
    DWORD result = NO_ERROR;
    for (auto it = r.byPath.begin(); it != r.byPath.end();) {
        if (!path || it->first == *path) {
            const DWORD error = commit(it->first, it->second);
            result = error != NO_ERROR ? error : result;
            it = r.byPath.erase(it);
        } else {
            ++it;
        }
    }
    noteWhetherAny(r);
    return result;
}

std::shared_ptr<const IniDocument>
withPending(const std::string& path,
            const std::function<std::shared_ptr<const IniDocument>()>& readDisk) {
    Runs& r = runs();
    // Writes of this thread made `any` true before they returned; once a run has been
    // written out and `any` is false again, the file holds it.
    if (!r.any.load(std::memory_order_acquire)) {
        return readDisk();
    }
    std::lock_guard<std::mutex> guard(r.lock);
    std::shared_ptr<const IniDocument> disk = readDisk();
    const auto it = r.byPath.find(path);
    if (it == r.byPath.end() || it->second.writes.empty()) {
        return disk;
    }
    Run& run = it->second;
    if (!run.view || run.viewBase != disk) {
        auto view = std::make_shared<IniDocument>(disk ? *disk : IniDocument());
        for (const ProfileWrite& write : run.writes) {
            view->apply(write);
        }
        run.view = std::move(view);
        run.viewBase = std::move(disk);
    }
    return run.view;
}

} // namespace korutil::detail

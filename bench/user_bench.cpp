// Messages of the window manager beside the hand-made peers a host might use instead:
// posting and receiving one message against a std::deque under a mutex and condition
// variable; a SendMessageA round trip to a window of another thread against a cross-thread
// call made of a mutex and two condition variables; dispatching 100k posted messages to a
// window procedure against the same deque feeding a switch.
#include <korutil/platform.h>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr UINT kPing = WM_APP + 1;
long g_handled = 0;

LRESULT CALLBACK benchProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == kPing) {
        g_handled += static_cast<long>(w);
        return static_cast<LRESULT>(w) + 1;
    }
    return DefWindowProcA(h, m, w, l);
}

HWND makeWindow() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = benchProc;
        wc.lpszClassName = "KorutilBench";
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    return CreateWindowExA(0, "KorutilBench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
}

// The peer queue: what a host would write for one thread's messages.
struct PeerMessage {
    UINT message;
    WPARAM wParam;
};

class PeerQueue {
public:
    void post(PeerMessage m) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_items.push_back(m);
        }
        m_ready.notify_one();
    }
    bool peek(PeerMessage& out) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_items.empty()) {
            return false;
        }
        out = m_items.front();
        m_items.pop_front();
        return true;
    }
    PeerMessage get() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_ready.wait(guard, [this] { return !m_items.empty(); });
        const PeerMessage m = m_items.front();
        m_items.pop_front();
        return m;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<PeerMessage> m_items;
};

long peerHandle(const PeerMessage& m) {
    switch (m.message) {
    case kPing:
        g_handled += static_cast<long>(m.wParam);
        return static_cast<long>(m.wParam) + 1;
    default:
        return 0;
    }
}

void BM_PostAndPeek_Layer(benchmark::State& state) {
    HWND w = makeWindow();
    MSG msg;
    for (auto _ : state) {
        PostMessageA(w, kPing, 1, 0);
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        benchmark::DoNotOptimize(msg.wParam);
    }
    DestroyWindow(w);
}
BENCHMARK(BM_PostAndPeek_Layer);

void BM_PostAndPeek_Peer(benchmark::State& state) {
    PeerQueue queue;
    PeerMessage m{};
    for (auto _ : state) {
        queue.post(PeerMessage{kPing, 1});
        queue.peek(m);
        benchmark::DoNotOptimize(m.wParam);
    }
}
BENCHMARK(BM_PostAndPeek_Peer);

void BM_SendAcrossThreads_Layer(benchmark::State& state) {
    HWND w = nullptr;
    std::mutex lock;
    std::condition_variable made;
    DWORD id = 0;
    std::thread worker([&] {
        {
            std::lock_guard<std::mutex> guard(lock);
            w = makeWindow();
            id = GetCurrentThreadId();
        }
        made.notify_one();
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageA(&msg);
        }
        DestroyWindow(w);
    });
    {
        std::unique_lock<std::mutex> guard(lock);
        made.wait(guard, [&] { return w != nullptr; });
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(SendMessageA(w, kPing, 1, 0));
    }
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    worker.join();
}
BENCHMARK(BM_SendAcrossThreads_Layer)->UseRealTime();

// A call handed to another thread and waited for: the request, then the answer.
void BM_SendAcrossThreads_Peer(benchmark::State& state) {
    std::mutex lock;
    std::condition_variable asked, answered;
    bool pending = false, done = false, stop = false;
    PeerMessage request{};
    long answer = 0;
    std::thread worker([&] {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            asked.wait(guard, [&] { return pending || stop; });
            if (stop) {
                return;
            }
            answer = peerHandle(request);
            pending = false;
            done = true;
            answered.notify_one();
        }
    });
    for (auto _ : state) {
        std::unique_lock<std::mutex> guard(lock);
        request = PeerMessage{kPing, 1};
        pending = true;
        done = false;
        asked.notify_one();
        answered.wait(guard, [&] { return done; });
        benchmark::DoNotOptimize(answer);
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        stop = true;
    }
    asked.notify_one();
    worker.join();
}
BENCHMARK(BM_SendAcrossThreads_Peer)->UseRealTime();

constexpr int kMany = 100000;
constexpr int kBatch = 5000; // below the queue's limit of 10000 posted messages

void BM_Dispatch100k_Layer(benchmark::State& state) {
    HWND w = makeWindow();
    MSG msg;
    for (auto _ : state) {
        for (int done = 0; done < kMany; done += kBatch) {
            for (int i = 0; i < kBatch; ++i) {
                PostMessageA(w, kPing, 1, 0);
            }
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&msg);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kMany);
    DestroyWindow(w);
}
BENCHMARK(BM_Dispatch100k_Layer)->Unit(benchmark::kMillisecond);

void BM_Dispatch100k_Peer(benchmark::State& state) {
    PeerQueue queue;
    PeerMessage m{};
    for (auto _ : state) {
        for (int done = 0; done < kMany; done += kBatch) {
            for (int i = 0; i < kBatch; ++i) {
                queue.post(PeerMessage{kPing, 1});
            }
            while (queue.peek(m)) {
                peerHandle(m);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kMany);
}
BENCHMARK(BM_Dispatch100k_Peer)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

#include "online/UpdatePageFetch.h"

#include <chrono>
#include <thread>

#include "kad/requests/KADRequests.h"
#include "online/URL.h"

UpdatePageFetch::UpdatePageFetch(std::function<void(float)> notify, Waiting waiting)
    : notify_(std::move(notify)), waiting_(std::move(waiting))
{
    if (!waiting_.now) {
        waiting_.now = []() {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        };
    }
    if (!waiting_.sleep)
        waiting_.sleep = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

bool UpdatePageFetch::CheckUpdatePage()
{
    const URL page = URL::Parse(kUpdatePageURL);
    URLFetch* fetch = KADRequests::StartURLFetch(Nyx::PString(URL::Format(page).View()));
    const double start = waiting_.now();
    bool done = KADRequests::PollURLFetchAlt(*fetch);
    while (!done && waiting_.now() - start < kGiveUpSeconds) {
        waiting_.sleep(kPollIntervalMs);
        done = KADRequests::PollURLFetchAlt(*fetch);
    }
    const int32_t result = done ? KADRequests::PollURLFetch(*fetch) : -1;
    KADRequests::EndURLFetch(fetch);
    if (done && result == 0 && notify_)
        notify_(1.0f);
    return done;
}

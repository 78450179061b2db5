#include "kaddaemon/RepairJob.h"

#include <utility>

#include "kaddaemon/AssetStore.h"

namespace kaddaemon {

RepairJob::RepairJob(std::shared_ptr<AssetStore> store) : store_(std::move(store)) {}

RepairJob::~RepairJob()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    thread_.Join();
}

bool RepairJob::Start(const void* owner, uint32_t transactionId)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (working_ || stopping_)
        return false;
    // The last repair's thread cleared working_ as its last step under the
    // lock, so it needs the lock no more: it ends on its own.
    thread_.Join();
    working_ = true;
    progress_ = 0.0f;
    status_ = "The repair is starting.";
    errors_.clear();
    owner_ = owner;
    transactionId_ = transactionId;
    if (!thread_.Start([this]() { Work(); })) {
        working_ = false;
        status_.clear();
        return false;
    }
    return true;
}

void RepairJob::Work()
{
    const bool finished = store_->Repair(
        [this](uint32_t index, uint32_t count, const std::string&, const std::string& fault) {
            std::lock_guard<std::mutex> hold(lock_);
            if (stopping_)
                return false;
            progress_ = static_cast<float>(index + 1) / static_cast<float>(count);
            status_ = "Checked asset folder " + std::to_string(index + 1) + " of " + std::to_string(count) + ".";
            if (!fault.empty())
                errors_.push_back(fault);
            return true;
        });
    std::lock_guard<std::mutex> hold(lock_);
    progress_ = 1.0f;
    status_ = finished ? "The asset database is repaired." : "The repair was stopped.";
    working_ = false;
}

RepairJob::Poll RepairJob::TakePoll(const void* asker)
{
    std::lock_guard<std::mutex> hold(lock_);
    Poll poll;
    poll.running = working_;
    poll.progress = progress_;
    poll.status = status_;
    if (asker && asker == owner_) {
        poll.transactionId = transactionId_;
        poll.errors.swap(errors_);
    }
    if (heldPolls_ > 0) {
        poll.running = true;
        if (heldPolls_ != kHoldForever)
            --heldPolls_;
    }
    poll.dropLink = std::exchange(dropAfterPoll_, false);
    return poll;
}

void RepairJob::HoldRunning(uint32_t polls)
{
    std::lock_guard<std::mutex> hold(lock_);
    heldPolls_ = polls;
}

void RepairJob::DropLinkAfterNextPoll()
{
    std::lock_guard<std::mutex> hold(lock_);
    dropAfterPoll_ = true;
}

}  // namespace kaddaemon

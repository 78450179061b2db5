#include "resources/overlapped/OverlappedResourceSystem.h"

#include <algorithm>

namespace {

constinit OverlappedResourceSystem* gSystem = nullptr;

}  // namespace

OverlappedResourceCallback::~OverlappedResourceCallback()
{
    if (system_)
        system_->Finish(this);
}

OverlappedResourceSystem* OverlappedResourceSystem::Get() noexcept { return gSystem; }

OverlappedResourceSystem::OverlappedResourceSystem()
{
    if (!gSystem)
        gSystem = this;
}

OverlappedResourceSystem::~OverlappedResourceSystem()
{
    for (OverlappedResourceCallback* job : queue_) {
        job->state_ = OverlappedResourceCallback::kIdle;
        job->system_ = nullptr;
    }
    queue_.clear();
    if (gSystem == this)
        gSystem = nullptr;
}

bool OverlappedResourceSystem::Queue(OverlappedResourceCallback* job)
{
    if (!job || job->system_ || queue_.size() >= kMaxQueued)
        return false;
    job->system_ = this;
    job->state_ = OverlappedResourceCallback::kQueued;
    queue_.push_back(job);
    return true;
}

void OverlappedResourceSystem::Remove(OverlappedResourceCallback* job)
{
    queue_.erase(std::remove(queue_.begin(), queue_.end(), job), queue_.end());
    job->system_ = nullptr;
}

void OverlappedResourceSystem::Run(OverlappedResourceCallback* job)
{
    Remove(job);
    if (!job->cancelled_) {
        job->state_ = OverlappedResourceCallback::kRunning;
        if (job->work_)
            job->work_(job->data_);
        if (job->completion_ && !job->cancelled_)
            job->completion_(job->data_);
    }
    job->state_ = OverlappedResourceCallback::kCompleted;
}

uint32_t OverlappedResourceSystem::RunQueued()
{
    uint32_t ran = 0;
    while (!queue_.empty()) {
        Run(queue_.front());
        ++ran;
    }
    return ran;
}

void OverlappedResourceSystem::Finish(OverlappedResourceCallback* job)
{
    if (job && job->system_ == this && job->state_ == OverlappedResourceCallback::kQueued)
        Run(job);
}

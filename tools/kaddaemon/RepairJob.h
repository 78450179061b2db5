// The stand-in's repair of its asset database: one at a time, worked on a
// thread of its own over the asset store (AssetStore::Repair), and watched
// through polls.
//
// A poll tells whether the repair is at work, its progress (0 to 1) and a
// status text. The connection that started the repair is also handed the
// errors found since its last poll, with the start's transaction id, whose
// results they are; other connections see progress and status only.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "nyx/base/Thread.h"

namespace kaddaemon {

class AssetStore;

class RepairJob {
public:
    // A count of held polls that never runs out.
    static constexpr uint32_t kHoldForever = 0xFFFFFFFFu;

    struct Poll {
        bool running = false;
        float progress = 0.0f;
        std::string status;
        uint32_t transactionId = 0;
        std::vector<std::string> errors;
        // The connection that polled is to end once the answer is out.
        bool dropLink = false;
    };

    explicit RepairJob(std::shared_ptr<AssetStore> store);
    // Stops a repair at work (the index stays as it was) and waits for it.
    ~RepairJob();
    RepairJob(const RepairJob&) = delete;
    RepairJob& operator=(const RepairJob&) = delete;

    // False when a repair is at work already. The owner names the
    // connection that asked; it is compared, never used.
    bool Start(const void* owner, uint32_t transactionId);
    Poll TakePoll(const void* asker);

    // For tests: the next `polls` polls answer "at work" whatever the
    // repair's state (kHoldForever: every poll from now on; 0 ends a hold).
    void HoldRunning(uint32_t polls);
    // For tests: the connection of the next poll ends after its answer.
    void DropLinkAfterNextPoll();

private:
    void Work();

    std::shared_ptr<AssetStore> store_;
    std::mutex lock_;
    // Everything below is guarded by lock_; the thread is started and
    // joined under it.
    bool working_ = false;
    bool stopping_ = false;
    float progress_ = 0.0f;
    std::string status_;
    std::vector<std::string> errors_;
    const void* owner_ = nullptr;
    uint32_t transactionId_ = 0;
    uint32_t heldPolls_ = 0;
    bool dropAfterPoll_ = false;
    Nyx::Thread thread_;
};

}  // namespace kaddaemon

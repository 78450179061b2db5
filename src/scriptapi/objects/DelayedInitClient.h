// Something whose set-up runs in three phases some time after it is made:
// it waits in a manager's list until the manager (or the object's owner)
// runs the phases that have not run yet, each once.
#pragma once

#include <cstdint>

class DelayedInitManager;

class DelayedInitClient {
public:
    // The state bits.
    static constexpr uint8_t kPhase1Done = 1;
    static constexpr uint8_t kPhase2Done = 2;
    static constexpr uint8_t kPhase3Done = 4;
    static constexpr uint8_t kWaiting = 8;
    // Keeps phase 2 from attaching a class.
    static constexpr uint8_t kNoClass = 16;

    DelayedInitClient() = default;
    DelayedInitClient(const DelayedInitClient&) = delete;
    DelayedInitClient& operator=(const DelayedInitClient&) = delete;
    virtual ~DelayedInitClient() = default;

    virtual void SetInitFlag1() { initState_ |= kPhase1Done; }
    virtual void SetInitFlag2() { initState_ |= kPhase2Done; }
    virtual void SetInitFlag4() { initState_ |= kPhase3Done; }

    // Joins the manager's list unless every phase has run or it waits
    // already.
    void Register(DelayedInitManager* manager);
    // Leaves the list when it waits in it.
    void Unregister(DelayedInitManager* manager);
    // Runs the phases still to run, in order, then leaves the list.
    void RunPendingPhases(DelayedInitManager* manager);

    uint8_t InitState() const noexcept { return initState_; }

protected:
    uint8_t initState_ = 0;

private:
    friend class DelayedInitManager;
};

// What the online endpoint delivers messages to: one client per asset
// script object, known by the asset's KUID.
#pragma once

#include <memory>

#include "config/kuid/KUID.h"
#include "online/OnlineMessage.h"

class OnlineAccessClientBase {
public:
    virtual ~OnlineAccessClientBase() = default;
    // The client keeps or discards the message.
    virtual void QueueMessage(std::unique_ptr<OnlineMessage> message) = 0;

    KUID asset = KUID::Null;
};

#include "tetlib/tag/Tag.h"

#include "config/TDBContainerTag.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"

namespace TETLib {

std::atomic<int64_t> Tag::live_{0};

Tag::Tag() : serial_(static_cast<TagSerial>(NextObjectSerial())) { live_.fetch_add(1, std::memory_order_relaxed); }

Tag::~Tag()
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->RemoveTagEntry(serial_);
    if (DataManager* manager = DataManager::Existing())
        manager->UnregisterTag(this);
    live_.fetch_sub(1, std::memory_order_relaxed);
}

const std::vector<TagRule>& Tag::RuleTable()
{
    static const std::vector<TagRule> rules;
    return rules;
}

int64_t Tag::LiveCount() noexcept { return live_.load(std::memory_order_relaxed); }

void Tag::BindRules(const ChunkRef& spec)
{
    static const Nyx::PString kValidation("validation");
    const ChunkRef validation = TDBContainerTag::GetChildContainer(spec, kValidation);
    if (!validation)
        return;
    const std::vector<TagRule>& rules = RuleTable();
    if (rules.empty())
        return;
    const uint32_t count = validation.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString ruleName = TDBContainerTag::GetChildName(validation, i);
        for (const TagRule& rule : rules) {
            if (rule.name != ruleName)
                continue;
            ruleFunctions_.push_back(rule.function);
            ruleArguments_.push_back(TDBContainerTag::GetChildContainer(validation, ruleName));
        }
    }
}

}  // namespace TETLib

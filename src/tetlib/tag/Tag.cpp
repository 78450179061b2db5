#include "tetlib/tag/Tag.h"

#include "config/tree/TDBContainerTag.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/rules/TagRules.h"

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
    // Made on first use; never changed afterwards.
    static const std::vector<TagRule> rules = {
        {Nyx::PString("istracksidetype"), &RuleIsTracksideType},
        {Nyx::PString("needcollatemeshes"), &RuleNeedCollateMeshes},
        {Nyx::PString("ispositive"), &RuleIsPositive},
        {Nyx::PString("isnotzero"), &RuleIsNotZero},
        {Nyx::PString("scriptfileexists"), &RuleScriptFileExists},
        {Nyx::PString("range"), &RuleRange},
        {Nyx::PString("arraysize"), &RuleArraySize},
        {Nyx::PString("notownparent"), &RuleNotOwnParent},
        {Nyx::PString("mustbeownparent"), &RuleMustBeOwnParent},
        {Nyx::PString("mustbeinlightcontainer"), &RuleMustBeInLightContainer},
        {Nyx::PString("mustbepaired"), &RuleMustBePaired},
    };
    return rules;
}

bool Tag::RunRules()
{
    bool ok = true;
    for (size_t i = 0; i < ruleFunctions_.size(); ++i)
        if (!ruleFunctions_[i](*this, ruleArguments_[i] ? &ruleArguments_[i] : nullptr))
            ok = false;
    return ok;
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

#include "support/GSAssembler.h"

GSAsm& GSAsm::Target(const std::string& label)
{
    fixups_.emplace_back(bytes_.size(), label);
    return U32(0);
}

GSAsm& GSAsm::Label(const std::string& name)
{
    labels_[name] = uint32_t(bytes_.size());
    return *this;
}

GSAsm& GSAsm::Line(uint32_t line)
{
    lines_.emplace_back(uint32_t(bytes_.size()), line);
    return *this;
}

uint32_t GSAsm::At(const std::string& label) const
{
    return labels_.at(label);
}

std::vector<uint8_t> GSAsm::Bytes() const
{
    std::vector<uint8_t> out = bytes_;
    for (const auto& [at, label] : fixups_) {
        const uint32_t v = labels_.at(label);
        for (int i = 0; i < 4; ++i)
            out[at + i] = uint8_t(v >> (8 * i));
    }
    return out;
}

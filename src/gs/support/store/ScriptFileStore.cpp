#include "gs/support/store/ScriptFileStore.h"

#include <strings.h>

#include <cstring>
#include <new>

#include "core/compress/LZSSCompress.h"
#include "core/streams/LittleEndian.h"
#include "platform/FileSave.h"

const uint8_t ScriptFileStore::kKey[32] = {
    0x5B, 0xC2, 0x17, 0x8E, 0x3D, 0xA9, 0x64, 0xF0, 0x29, 0x7C, 0xD5, 0x0B, 0x96, 0x43, 0xEA, 0x1F,
    0xB8, 0x52, 0x0D, 0x7A, 0xE1, 0x36, 0x9F, 0xC4, 0x68, 0x21, 0xFB, 0x85, 0x4E, 0x13, 0xA7, 0xD0,
};

namespace {

std::string& PendingPrefixText()
{
    static std::string prefix;
    return prefix;
}

bool HasExtension(const Nyx::File::Path& path, const char* ext)
{
    std::string_view e = path.Extension();
    return e.size() == std::strlen(ext) && ::strncasecmp(e.data(), ext, e.size()) == 0;
}

}  // namespace

void ScriptFileStore::SetPendingPrefix(std::string_view prefix) { PendingPrefixText() = prefix; }

const std::string& ScriptFileStore::PendingPrefix() noexcept { return PendingPrefixText(); }

ScriptFileStore::ScriptFileStore() { Clear(); }

ScriptFileStore::~ScriptFileStore() { Reset(); }

void ScriptFileStore::Reset()
{
    data_.reset();
    packed_ = false;
    dataLength_ = plainLength_ = 0;
    path_ = Nyx::File::Path();
    path2_ = Nyx::File::Path();
    format_ = 0;
}

void ScriptFileStore::Clear()
{
    Reset();
    prefixLength_ = 0;
    format_ = 1;
}

std::unique_ptr<uint8_t[]> ScriptFileStore::TakePrefixInto(uint32_t size, uint32_t& prefix)
{
    std::string& pending = PendingPrefixText();
    if (uint64_t(pending.size()) + size > kMaxPlainSize)
        return nullptr;
    prefix = static_cast<uint32_t>(pending.size());
    std::unique_ptr<uint8_t[]> text(new (std::nothrow) uint8_t[uint64_t(prefix) + size + 1]);
    if (!text)
        return nullptr;
    std::memcpy(text.get(), pending.data(), prefix);
    text[prefix + size] = 0;
    pending.clear();
    return text;
}

bool ScriptFileStore::Open(const Nyx::PString& container, const Nyx::File::Path& path)
{
    Clear();
    path_ = path;
    container_ = container;
    if (HasExtension(path, "gs"))
        return Nyx::File::Exists(container, path) == 0 && ReadPlain(container, path);
    if (HasExtension(path, "gse"))
        return Nyx::File::Exists(container, path) == 0 && ReadScrambled(container, path);
    return false;
}

bool ScriptFileStore::ReadPlain(const Nyx::PString& container, const Nyx::File::Path& path)
{
    Nyx::File file;
    if (!file.Open(container, path, Nyx::File::kModeRead))
        return false;
    int64_t size = file.Size();
    if (size < 0 || size > kMaxPlainSize)
        return false;
    // The pending prefix is kept for another load when this one fails.
    std::string pending = PendingPrefixText();
    uint32_t prefix = 0;
    std::unique_ptr<uint8_t[]> text = TakePrefixInto(static_cast<uint32_t>(size), prefix);
    if (!text)
        return false;
    if (file.Read(text.get() + prefix, 1, static_cast<uint32_t>(size)) != static_cast<uint32_t>(size)) {
        PendingPrefixText() = std::move(pending);
        return false;
    }
    data_ = std::move(text);
    dataLength_ = plainLength_ = prefix + static_cast<uint32_t>(size);
    prefixLength_ = prefix;
    packed_ = false;
    return true;
}

bool ScriptFileStore::ReadScrambled(const Nyx::PString& container, const Nyx::File::Path& path)
{
    Nyx::File file;
    if (!file.Open(container, path, Nyx::File::kModeRead))
        return false;
    uint8_t head[kHeaderSize];
    if (file.Read(head, 1, kHeaderSize) != kHeaderSize)
        return false;
    uint32_t length = LoadLE32(head + 8);
    if (length == 0 || length > kMaxStoredSize)
        return false;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[length]);
    if (!data || file.Read(data.get(), 1, length) != length)
        return false;
    format_ = LoadLE32(head);
    data_ = std::move(data);
    dataLength_ = length;
    plainLength_ = 0;
    packed_ = true;
    return true;
}

void ScriptFileStore::Scramble() noexcept
{
    for (uint32_t i = 0; i < dataLength_; ++i)
        data_[i] ^= kKey[i % sizeof kKey];
}

bool ScriptFileStore::Pack()
{
    if (packed_)
        return true;
    if (plainLength_ == 0)
        plainLength_ = dataLength_;
    // No reader takes a plain size of 0: an empty text has no packed form.
    if (dataLength_ == 0 || !data_)
        return false;
    uint64_t room = uint64_t(dataLength_) + 1;
    std::unique_ptr<uint8_t[]> packed(new (std::nothrow) uint8_t[room + 4]);
    if (!packed)
        return false;
    Nyx::LZSSCompress codec;
    int64_t size = codec.CompressBlock(packed.get() + 4, static_cast<uint32_t>(room), data_.get(), dataLength_,
                                       kCompressionLevel);
    if (size <= 0 || uint64_t(size) + 4 > kMaxStoredSize)
        return false;
    StoreLE32(packed.get(), dataLength_);
    data_ = std::move(packed);
    dataLength_ = static_cast<uint32_t>(size) + 4;
    Scramble();
    packed_ = true;
    return true;
}

bool ScriptFileStore::Unpack()
{
    if (!packed_)
        return true;
    if (dataLength_ < 4) {
        Reset();
        return false;
    }
    Scramble();
    uint32_t size = LoadLE32(data_.get());
    if (size == 0) {
        // Nothing to unpack, and nothing lost: the store stays as loaded.
        Scramble();
        return false;
    }
    if (size > kMaxPlainSize) {
        Reset();
        return false;
    }
    std::string pending = PendingPrefixText();
    uint32_t prefix = 0;
    std::unique_ptr<uint8_t[]> text = TakePrefixInto(size, prefix);
    if (!text) {
        Reset();
        return false;
    }
    Nyx::LZSSCompress codec;
    int64_t produced = codec.DecompressBlock(text.get() + prefix, size, data_.get() + 4, dataLength_ - 4);
    if (produced != int64_t(size)) {
        PendingPrefixText() = std::move(pending);
        Reset();
        return false;
    }
    data_ = std::move(text);
    dataLength_ = prefix + size;
    if (plainLength_ == 0)
        plainLength_ = dataLength_;
    prefixLength_ = prefix;
    packed_ = false;
    return true;
}

const char* ScriptFileStore::GetText()
{
    if (packed_ && !Unpack())
        return nullptr;
    return data_ ? reinterpret_cast<const char*>(data_.get()) : "";
}

uint32_t ScriptFileStore::GetLength()
{
    if (plainLength_ != 0)
        return plainLength_;
    if (packed_)
        return Unpack() ? dataLength_ : 0;
    return 0;
}

bool ScriptFileStore::Save(const Nyx::PString& container, const Nyx::File::Path& path)
{
    path_ = path;
    container_ = container;
    if (HasExtension(path, "gse"))
        return WriteScrambled();
    if (HasExtension(path, "gs"))
        return WritePlain();
    return false;
}

bool ScriptFileStore::WriteScrambled()
{
    if (!Pack() || path_.Empty())
        return false;
    uint8_t head[kHeaderSize] = {};
    StoreLE32(head, format_);
    StoreLE32(head + 8, dataLength_);
    return WriteReplacing(head, sizeof head);
}

bool ScriptFileStore::WritePlain()
{
    if (!Unpack() || path_.Empty())
        return false;
    return WriteReplacing(nullptr, 0);
}

bool ScriptFileStore::WriteReplacing(const void* head, uint32_t headSize)
{
    const std::string target = Nyx::File::Resolve(container_, path_);
    if (target.empty())
        return false;
    Platform::FileSave save(target);
    return save.IsOpen() && (headSize == 0 || save.Write(head, headSize)) &&
           (dataLength_ == 0 || save.Write(data_.get(), dataLength_)) && save.Commit();
}

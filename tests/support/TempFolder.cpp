#include "support/TempFolder.h"

TempFolder::TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestro-test-XXXXXX";
    if (::mkdtemp(templ.data()))
        path_ = templ;
    EXPECT_FALSE(path_.empty()) << "mkdtemp failed";
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::operator/(std::string_view rel) const
{
    return path_ + "/" + std::string(rel);
}

void TempFolder::Write(std::string_view rel, std::string_view bytes) const
{
    std::filesystem::path p = *this / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempFolder::MakeFolder(std::string_view rel) const
{
    std::filesystem::create_directories(*this / rel);
}

std::string TempFolder::ReadAll(std::string_view rel) const
{
    std::ifstream in(*this / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempFolder::Has(std::string_view rel) const
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(*this / rel, ec));
}

// Category expressions of "searchbycategory": the input up to its first NUL
// is the expression, the NUL-separated texts after it are category lists.
// The expression is matched against each list and against fixed ones, and
// compared with a model written from the rules alone; the lists are merged
// as the category merge does and compared with a model too. Then the
// command runs against the stand-in's store of assets with fixed category
// lists (first input byte odd: with "-a"), and the search it sends must find
// exactly the assets the model picks for the upper-cased expression.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzQuietOutput.h"
#include "FuzzStandIn.h"
#include "FuzzTempFolder.h"
#include "cli/CommandHandlers.h"
#include "config/kuid/KUIDRing.h"
#include "config/results/ResultsLog.h"
#include "kad/requests/CategoryExpression.h"
#include "kad/requests/KADFilterElement.h"

namespace {

// Lists as the store holds them: each asset's "category-class".
constexpr const char* kStoreLists[] = {"VE;LOC", "TR", "BR;#X;TR", "A;B|C", "-X;Y", ";;Q;", "LOC;VE;-", "VE"};

// The entries of a list: up to its first "|", split at ";".
std::vector<std::string_view> Entries(std::string_view list)
{
    list = list.substr(0, list.find('|'));
    std::vector<std::string_view> out;
    for (size_t at = 0;;) {
        const size_t end = list.find(';', at);
        out.push_back(list.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos)
            return out;
        at = end + 1;
    }
}

// An empty entry matches nothing.
bool Holds(std::string_view list, std::string_view name)
{
    if (name.empty())
        return false;
    for (std::string_view entry : Entries(list)) {
        if (entry == name)
            return true;
    }
    return false;
}

bool TermHolds(std::string_view list, std::string_view term)
{
    bool negated = false;
    while (!term.empty() && term.front() == '-') {
        negated = !negated;
        term.remove_prefix(1);
    }
    return Holds(list, term) != negated;
}

// Alternatives at "|", each terms at runs of ";", all of which must hold;
// the first term stands even when empty (and then holds nothing), the
// empty ones after it are the runs' gaps.
bool Model(std::string_view expression, std::string_view list)
{
    for (size_t at = 0;;) {
        const size_t bar = expression.find('|', at);
        const std::string_view alternative =
            expression.substr(at, bar == std::string_view::npos ? std::string_view::npos : bar - at);
        bool all = true;
        if (!alternative.empty()) {
            size_t from = 0;
            for (bool first = true;; first = false) {
                const size_t end = alternative.find(';', from);
                const std::string_view term =
                    alternative.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
                if ((first || !term.empty()) && !TermHolds(list, term)) {
                    all = false;
                    break;
                }
                if (end == std::string_view::npos)
                    break;
                from = end + 1;
            }
        }
        if (all)
            return true;
        if (bar == std::string_view::npos)
            return false;
        at = bar + 1;
    }
}

// The first list, then each entry of the second marked with "#" unless the
// growing list already holds it (as read up to its "|").
std::string MergeModel(const std::string& first, std::string_view second)
{
    std::string result = first;
    for (std::string_view entry : Entries(second)) {
        if (entry.empty())
            continue;
        const std::string marked = "#" + std::string(entry);
        if (Holds(result, marked))
            continue;
        if (!result.empty())
            result += ';';
        result += marked;
    }
    return result;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The folder goes at exit, while the store over it is never destroyed: its
// stand-in is not shut down in order at exit.
FuzzTempFolder& Root()
{
    static FuzzTempFolder root{"category_search_fuzz"};
    return root;
}

struct Store {
    FuzzTempFolder& root = Root();
    std::vector<std::pair<KUID, std::string>> assets;
    std::unique_ptr<FuzzStandIn> standIn;

    Store()
    {
        int content = 1;
        for (const char* list : kStoreLists) {
            const KUID kuid(400001, content, 0);
            root.Write("local/a" + std::to_string(content) + "/config.txt",
                       "kuid " + std::string(kuid.ToString().c_str()) + "\nkind \"scenery\"\ncategory-class \"" +
                           list + "\"\n");
            assets.emplace_back(kuid, list);
            ++content;
        }
        // The searches change nothing: one store serves every input.
        standIn = std::make_unique<FuzzStandIn>(root.Path());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 8192)
        return 0;
    static Store* store = new Store;
    const bool all = (data[0] & 1) != 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string expression(rest.substr(0, rest.find('\0')));
    std::vector<std::string> lists(std::begin(kStoreLists), std::end(kStoreLists));
    if (expression.size() < rest.size()) {
        std::string_view tail = rest.substr(expression.size() + 1);
        while (lists.size() < 24) {
            const size_t end = tail.find('\0');
            lists.emplace_back(tail.substr(0, end));
            if (end == std::string_view::npos)
                break;
            tail.remove_prefix(end + 1);
        }
    }

    for (const std::string& list : lists) {
        FuzzCheck(CategoryExpression::Matches(expression.c_str(), list.c_str()) == Model(expression, list));
        FuzzCheck(CategoryExpression::MatchTerm(list.c_str(), expression.c_str()) ==
                  TermHolds(list, expression.substr(0, expression.find_first_of(";|"))));
        Nyx::String merged;
        MergeCategoryLists(merged, list.c_str(), expression.c_str());
        FuzzCheck(std::string(merged.c_str()) == MergeModel(list, expression));
    }
    FuzzCheck(CategoryExpression::Matches(nullptr, expression.c_str()));
    FuzzCheck(std::string(ReadListEntry(expression.c_str()).c_str()) ==
              expression.substr(0, expression.find_first_of(";|")));

    // Through the command and the stand-in's store.
    const std::string upper = Upper(expression);
    std::set<KUID, KADFilterElementAssetID::Order> expected;
    for (const auto& [kuid, list] : store->assets) {
        if (Model(upper, list))
            expected.insert(kuid);
    }
    KADFilterElementGroup filter;
    filter.AddChild(std::make_unique<KADFilterElementString>(KADFilterElementString::kCategoryList,
                                                             Nyx::PString(upper)));
    KUIDRing found;
    FuzzCheck(KADRequests::SearchAssets(&filter, found));
    std::vector<KUID> got;
    for (const KUID& kuid : found)
        got.push_back(kuid);
    FuzzCheck(got == std::vector<KUID>(expected.begin(), expected.end()));

    ResultsLog log;
    int code = 0;
    {
        FuzzQuietOutput quiet;
        code = SearchByCategoryCommand(log, all, expression.c_str());
    }
    FuzzCheck(code == (expected.empty() ? -1 : 0));
    FuzzCheck(log.GetErrorCount() == 0);
    return 0;
}

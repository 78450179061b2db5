#include "ProgramInterpreter.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace programtest {

namespace {

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

// The lines between "API(common)" + "{" and the matching "}", from `text`.
std::vector<std::string> CommonBlock(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> body;
    bool inside = false, opened = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (!inside) {
            if (line == "API(common)")
                inside = true;
            continue;
        }
        if (!opened) {
            if (line != "{")
                Fail("no block after API(common)");
            opened = true;
            continue;
        }
        if (line == "}")
            return body;
        body.push_back(line);
    }
    Fail("no common block");
}

Vec4 Swizzle(const Vec4& v, const std::string& swz)
{
    if (swz.empty())
        return v;
    auto index = [](char c) {
        switch (c) {
        case 'x': case 'r': return 0;
        case 'y': case 'g': return 1;
        case 'z': case 'b': return 2;
        case 'w': case 'a': return 3;
        }
        Fail(std::string("bad swizzle ") + c);
    };
    if (swz.size() == 1) {
        const float f = v[index(swz[0])];
        return {f, f, f, f};
    }
    if (swz.size() != 4)
        Fail("bad swizzle " + swz);
    return {v[index(swz[0])], v[index(swz[1])], v[index(swz[2])], v[index(swz[3])]};
}

std::array<bool, 4> Mask(const std::string& mask)
{
    if (mask.empty())
        return {true, true, true, true};
    std::array<bool, 4> m{};
    for (char c : mask) {
        switch (c) {
        case 'x': case 'r': m[0] = true; break;
        case 'y': case 'g': m[1] = true; break;
        case 'z': case 'b': m[2] = true; break;
        case 'w': case 'a': m[3] = true; break;
        default: Fail("bad mask " + mask);
        }
    }
    return m;
}

void Write(Vec4& dst, const Vec4& value, const std::string& mask)
{
    const auto m = Mask(mask);
    for (int i = 0; i < 4; ++i)
        if (m[i])
            dst[i] = value[i];
}

std::vector<std::string> SplitArgs(const std::string& text)
{
    std::vector<std::string> args;
    int depth = 0;
    std::string cur;
    for (char c : text) {
        if (c == '[' || c == '{')
            ++depth;
        if (c == ']' || c == '}')
            --depth;
        if (c == ',' && depth == 0) {
            args.push_back(Trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!Trim(cur).empty())
        args.push_back(Trim(cur));
    return args;
}

float Dot3(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// ---- vertex programs ----

struct VertexMachine {
    std::map<std::string, Vec4> regs;  // attributes, params, temps, outputs by name
    std::map<std::string, Rows> arrays;
    std::map<std::string, std::string> outputs;  // name -> result binding

    Vec4 Source(std::string s) const
    {
        bool negate = false;
        if (!s.empty() && s[0] == '-') {
            negate = true;
            s = Trim(s.substr(1));
        }
        std::string swz;
        const size_t dot = s.rfind('.');
        if (dot != std::string::npos && s.find(']', dot) == std::string::npos) {
            swz = s.substr(dot + 1);
            s = s.substr(0, dot);
        }
        Vec4 v;
        const size_t bracket = s.find('[');
        if (bracket != std::string::npos) {
            auto it = arrays.find(s.substr(0, bracket));
            if (it == arrays.end())
                Fail("unknown array " + s);
            v = it->second.at(std::stoul(s.substr(bracket + 1)));
        } else {
            auto it = regs.find(s);
            if (it == regs.end())
                Fail("unknown register " + s);
            v = it->second;
        }
        v = Swizzle(v, swz);
        if (negate)
            for (float& f : v)
                f = -f;
        return v;
    }
};

Vec4 Binding(const std::string& what, const VertexInputs& in)
{
    if (what == "vertex.position") return in.position;
    if (what == "vertex.normal") return in.normal;
    if (what == "vertex.attrib[4]") return in.tangent;
    if (what == "vertex.texcoord[0]") return in.texCoord;
    if (what.rfind("program.local[", 0) == 0) {
        const int index = std::stoi(what.substr(14));
        auto it = in.locals.find(index);
        return it == in.locals.end() ? Vec4{} : it->second;
    }
    if (what.size() > 2 && what.front() == '{') {
        Vec4 v{};
        const auto parts = SplitArgs(what.substr(1, what.size() - 2));
        for (size_t i = 0; i < parts.size() && i < 4; ++i)
            v[i] = std::stof(parts[i]);
        return v;
    }
    Fail("unknown binding " + what);
}

}  // namespace

VertexOutputs RunVertexProgram(const std::string& setText, const std::set<std::string>& sections,
                               const VertexInputs& in)
{
    // Keep the lines of the sections asked for.
    std::string program;
    std::vector<bool> keep{true};
    for (const std::string& line : CommonBlock(setText)) {
        if (line.rfind("%ifdef ", 0) == 0) {
            keep.push_back(keep.back() && sections.count(Trim(line.substr(7))) != 0);
            continue;
        }
        if (line == "%endif") {
            if (keep.size() < 2)
                Fail("stray %endif");
            keep.pop_back();
            continue;
        }
        if (!keep.back())
            continue;
        const size_t hash = line.find('#');
        program += (hash == std::string::npos ? line : line.substr(0, hash)) + "\n";
    }
    if (program.rfind("!!ARBvp1.0", 0) != 0)
        Fail("no header");
    program = program.substr(10);

    VertexMachine m;
    std::istringstream statements(program);
    std::string statement;
    while (std::getline(statements, statement, ';')) {
        statement = Trim(statement);
        std::replace(statement.begin(), statement.end(), '\n', ' ');
        if (statement.empty() || statement == "END")
            continue;
        const size_t space = statement.find(' ');
        const std::string op = statement.substr(0, space);
        const std::string rest = Trim(statement.substr(space + 1));
        if (op == "ATTRIB" || op == "PARAM" || op == "OUTPUT") {
            const size_t eq = rest.find('=');
            std::string name = Trim(rest.substr(0, eq));
            const std::string what = Trim(rest.substr(eq + 1));
            if (op == "OUTPUT") {
                m.outputs[name] = what;
                m.regs[name] = Vec4{};
            } else if (name.find('[') != std::string::npos) {
                name = name.substr(0, name.find('['));
                if (what.find("state.matrix.mvp") != std::string::npos) m.arrays[name] = in.mvp;
                else if (what.find("state.matrix.modelview") != std::string::npos) m.arrays[name] = in.modelView;
                else if (what.find("state.matrix.texture[1]") != std::string::npos) m.arrays[name] = in.texture1;
                else Fail("unknown matrix " + what);
            } else {
                m.regs[name] = Binding(what, in);
            }
            continue;
        }
        if (op == "TEMP") {
            for (const std::string& name : SplitArgs(rest))
                m.regs[name] = Vec4{};
            continue;
        }
        const auto args = SplitArgs(rest);
        if (args.empty())
            Fail("no operands: " + statement);
        std::string dst = args[0], mask;
        if (const size_t dot = dst.find('.'); dot != std::string::npos) {
            mask = dst.substr(dot + 1);
            dst = dst.substr(0, dot);
        }
        if (!m.regs.count(dst))
            Fail("unknown destination " + dst);
        std::vector<Vec4> s;
        for (size_t i = 1; i < args.size(); ++i)
            s.push_back(m.Source(args[i]));
        auto need = [&](size_t n) {
            if (s.size() != n)
                Fail("operand count: " + statement);
        };
        Vec4 r{};
        if (op == "MOV") { need(1); r = s[0]; }
        else if (op == "ADD") { need(2); for (int i = 0; i < 4; ++i) r[i] = s[0][i] + s[1][i]; }
        else if (op == "MUL") { need(2); for (int i = 0; i < 4; ++i) r[i] = s[0][i] * s[1][i]; }
        else if (op == "MAD") { need(3); for (int i = 0; i < 4; ++i) r[i] = s[0][i] * s[1][i] + s[2][i]; }
        else if (op == "MAX") { need(2); for (int i = 0; i < 4; ++i) r[i] = std::max(s[0][i], s[1][i]); }
        else if (op == "SGE") { need(2); for (int i = 0; i < 4; ++i) r[i] = s[0][i] >= s[1][i] ? 1.0f : 0.0f; }
        else if (op == "DP3") { need(2); r.fill(Dot3(s[0], s[1])); }
        else if (op == "DP4") { need(2); r.fill(Dot3(s[0], s[1]) + s[0][3] * s[1][3]); }
        else if (op == "RSQ") { need(1); r.fill(1.0f / std::sqrt(std::fabs(s[0][0]))); }
        else if (op == "POW") { need(2); r.fill(std::pow(s[0][0], s[1][0])); }
        else if (op == "XPD") {
            need(2);
            r = {s[0][1] * s[1][2] - s[0][2] * s[1][1], s[0][2] * s[1][0] - s[0][0] * s[1][2],
                 s[0][0] * s[1][1] - s[0][1] * s[1][0], 0.0f};
        } else Fail("unknown instruction " + op);
        Write(m.regs[dst], r, mask);
    }

    VertexOutputs out;
    for (const auto& [name, binding] : m.outputs) {
        const Vec4& v = m.regs[name];
        if (binding == "result.position") out.position = v;
        else if (binding == "result.color.primary") out.primary = v;
        else if (binding == "result.color.secondary") out.secondary = v;
        else if (binding == "result.fogcoord") out.fog = v;
        else if (binding.rfind("result.texcoord[", 0) == 0) out.texCoord.at(std::stoul(binding.substr(16))) = v;
        else Fail("unknown output " + binding);
    }
    return out;
}

namespace {

// ---- combiners ----

std::string WithoutBlockComments(const std::string& text)
{
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find("/*", pos);
        if (open == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        out += text.substr(pos, open - pos);
        const size_t close = text.find("*/", open + 2);
        if (close == std::string::npos)
            Fail("unclosed comment");
        pos = close + 2;
    }
    return out;
}

struct PixelMachine {
    std::map<std::string, Vec4> regs;
    const PixelInputs* in;

    Vec4 Source(std::string s) const
    {
        bool negate = false, invert = false, bx2 = false;
        if (s.rfind('-', 0) == 0) {
            negate = true;
            s = s.substr(1);
        }
        if (s.rfind("1-", 0) == 0) {
            invert = true;
            s = s.substr(2);
        }
        std::string swz;
        if (const size_t dot = s.rfind('.'); dot != std::string::npos && s.find(']', dot) == std::string::npos) {
            swz = s.substr(dot + 1);
            s = s.substr(0, dot);
        }
        if (s.size() > 4 && s.compare(s.size() - 4, 4, "_bx2") == 0) {
            bx2 = true;
            s = s.substr(0, s.size() - 4);
        }
        Vec4 v;
        if (s.rfind("c[^", 0) == 0) {
            const std::string name = s.substr(3, s.size() - 4);
            auto it = in->registers.find(name);
            if (it == in->registers.end())
                Fail("unknown named register " + name);
            v = it->second;
        } else {
            auto it = regs.find(s);
            if (it == regs.end())
                Fail("unknown register " + s);
            v = it->second;
        }
        for (float& f : v) {
            if (bx2)
                f = 2.0f * f - 1.0f;
            if (invert)
                f = 1.0f - f;
            if (negate)
                f = -f;
        }
        return Swizzle(v, swz);
    }
};

}  // namespace

Vec4 RunCombiner(const std::string& text, const PixelInputs& in)
{
    PixelMachine m;
    m.in = &in;
    for (const char* name : {"r0", "r1", "t0", "t1", "t2", "t3"})
        m.regs[name] = Vec4{};
    m.regs["v0"] = in.primary;
    m.regs["v1"] = in.secondary;
    const std::vector<std::string> lines = CommonBlock(WithoutBlockComments(text));
    if (lines.empty() || lines[0] != "ps.1.1")
        Fail("no ps.1.1 header");
    for (size_t l = 1; l < lines.size(); ++l) {
        std::string line = lines[l];
        if (const size_t comment = line.find("//"); comment != std::string::npos)
            line = Trim(line.substr(0, comment));
        if (line.empty())
            continue;
        if (line[0] == '+')
            line = Trim(line.substr(1));
        const size_t space = line.find(' ');
        std::string op = line.substr(0, space);
        const auto args = SplitArgs(line.substr(space + 1));
        if (op == "tex") {
            const int stage = args.at(0)[1] - '0';
            m.regs[args[0]] = in.textures.at(static_cast<size_t>(stage));
            continue;
        }
        float scale = 1.0f;
        bool saturate = false;
        for (;;) {
            const size_t under = op.rfind('_');
            if (under == std::string::npos)
                break;
            const std::string mod = op.substr(under + 1);
            if (mod == "sat") saturate = true;
            else if (mod == "x2") scale = 2.0f;
            else if (mod == "x4") scale = 4.0f;
            else Fail("unknown modifier " + mod);
            op = op.substr(0, under);
        }
        std::string dst = args.at(0), mask;
        if (const size_t dot = dst.find('.'); dot != std::string::npos) {
            mask = dst.substr(dot + 1);
            dst = dst.substr(0, dot);
        }
        if (!m.regs.count(dst) || dst[0] == 'v')
            Fail("bad destination " + dst);
        std::vector<Vec4> s;
        for (size_t i = 1; i < args.size(); ++i)
            s.push_back(m.Source(args[i]));
        auto need = [&](size_t n) {
            if (s.size() != n)
                Fail("operand count: " + line);
        };
        Vec4 r{};
        if (op == "mov") { need(1); r = s[0]; }
        else if (op == "add") { need(2); for (int i = 0; i < 4; ++i) r[i] = s[0][i] + s[1][i]; }
        else if (op == "mul") { need(2); for (int i = 0; i < 4; ++i) r[i] = s[0][i] * s[1][i]; }
        else if (op == "mad") { need(3); for (int i = 0; i < 4; ++i) r[i] = s[0][i] * s[1][i] + s[2][i]; }
        else if (op == "lrp") { need(3); for (int i = 0; i < 4; ++i) r[i] = s[0][i] * s[1][i] + (1 - s[0][i]) * s[2][i]; }
        else if (op == "dp3") { need(2); r.fill(Dot3(s[0], s[1])); }
        else Fail("unknown instruction " + op);
        for (float& f : r) {
            f *= scale;
            if (saturate)
                f = std::clamp(f, 0.0f, 1.0f);
        }
        Write(m.regs[dst], r, mask);
    }
    Vec4 out = m.regs["r0"];
    for (float& f : out)
        f = std::clamp(f, 0.0f, 1.0f);
    return out;
}

}  // namespace programtest

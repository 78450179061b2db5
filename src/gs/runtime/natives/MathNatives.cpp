#include "gs/runtime/natives/MathNatives.h"

#include <cmath>
#include <ctime>
#include <memory>

#include "gs/runtime/natives/NativeParams.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"

namespace GSRuntime {

namespace {

// The nearest single-precision value to 1/65535.
constexpr float kUnit = 1.5259022e-5f;

// A value in [0, 1) from the next random value.
float NextFraction() noexcept
{
    const int32_t r = MathNextRandom();
    return float((r < 0 ? -int64_t(r) : int64_t(r)) % 65535) * kUnit;
}

void RandFloat(GSContext*, GSThread& thread)
{
    const float a = FloatParam(thread, 1), b = FloatParam(thread, 2);
    const float fraction = NextFraction();
    thread.stack.PushFloat(a + (b - a) * fraction);
}

void RandInt(GSContext*, GSThread& thread)
{
    const int32_t a = IntParam(thread, 1), b = IntParam(thread, 2);
    // b - a may not fit 32 bits; the product stays below it in size.
    const int64_t span = int64_t(b) - a;
    const float product = NextFraction() * float(span);
    thread.stack.PushInt(int32_t(int64_t(product) + a));
}

void Sqrt(GSContext*, GSThread& thread)
{
    thread.stack.PushFloat(float(std::sqrt(double(FloatParam(thread, 1)))));
}

}  // namespace

int32_t& MathRandomState() noexcept
{
    static int32_t state = 1;
    return state;
}

int32_t MathNextRandom() noexcept
{
    // state * 31415821 + 1 modulo 10^8, multiplied in halves so that no
    // product overflows.
    constexpr int64_t m = 100000000, m1 = 10000, b1 = 3141, b0 = 5821;
    const int64_t state = MathRandomState();
    const int64_t p1 = state / m1, p0 = state % m1;
    const int64_t t = ((p1 * b0 + b1 * p0) % m1) * m1 + p0 * b0;
    MathRandomState() = int32_t(((t % m) + 1) % m);
    return MathRandomState();
}

void RegisterMathNatives(GSMachine& machine)
{
    MathRandomState() = int32_t(uint32_t(uint64_t(std::time(nullptr))));
    const struct {
        const char* signature;
        GSCNativeFunction::Handler handler;
    } natives[] = {
        {"$float@Math::Rand(float,float)", &RandFloat},
        {"$int@Math::Rand(int,int)", &RandInt},
        {"$float@Math::Sqrt(float)", &Sqrt},
    };
    for (const auto& n : natives)
        machine.AddNative(
            std::make_unique<GSCNativeFunction>(Nyx::PString("Math"), Nyx::PString(n.signature), n.handler));
}

}  // namespace GSRuntime

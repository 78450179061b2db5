// The headless animation classes: what the animator answers for a file
// that is there or not, and a mesh with or without bones.
#include <gtest/gtest.h>

#include "nyx/anim/AnimationModifier.h"
#include "nyx/anim/Animator.h"
#include "nyx/anim/SkeletonModifier.h"
#include "nyx/scene/Particle.h"
#include "support/TempFolder.h"

namespace {

TEST(AnimatorTest, AnswersByFileAndSkeleton)
{
    TempFolder folder;
    folder.Write("walk.kin", "any bytes");
    folder.MakeFolder("dir.kin");
    Nyx::Particle node;
    Nyx::SkeletonModifier bones(&node, nullptr, 3);
    Nyx::SkeletonModifier none(&node, nullptr, 0);
    struct Case {
        const char* file;
        Nyx::SkeletonModifier* skeleton;
        int32_t answer;
    };
    const Case cases[] = {
        {"walk.kin", &bones, Nyx::Animator::kAdded},
        {"WALK.KIN", &bones, Nyx::Animator::kAdded},
        {"run.kin", &bones, Nyx::Animator::kNoResource},
        {"dir.kin", &bones, Nyx::Animator::kNoResource},
        {"walk.kin", &none, Nyx::Animator::kNoSkeleton},
        {"walk.kin", nullptr, Nyx::Animator::kNoSkeleton},
        {"run.kin", nullptr, Nyx::Animator::kNoResource},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Nyx::Animator animator(nullptr, Nyx::File::Path(folder.Path()), c.skeleton);
        EXPECT_EQ(animator.Add(c.file, 5, 1.0f, 1.0f, 1.0f), c.answer);
        EXPECT_EQ(animator.GetEntries().size(), c.answer == Nyx::Animator::kAdded ? 1u : 0u);
    }

    auto modifier = Nyx::AnimationModifier::CreateInstance(Nyx::File::Path(folder.Path()), "walk.kin", 5);
    ASSERT_NE(modifier, nullptr);
    EXPECT_EQ(modifier->GetLength(), 0.0f);
    EXPECT_EQ(modifier->GetType(), 5);
    EXPECT_EQ(Nyx::AnimationModifier::CreateInstance(Nyx::File::Path(folder.Path()), "gone.kin", 5), nullptr);
}

}  // namespace

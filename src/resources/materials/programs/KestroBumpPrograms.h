// The bump materials' built-in shader program texts: one vertex-program set
// and six texture-combiner programs, kept with CRLF line ends as they are
// registered with the render device's program managers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Nyx {

class KestroBumpPrograms {
public:
    static constexpr std::string_view kVertexSet = "KestroBumpMaterial_Vtx";

    static constexpr std::string_view kBumpParallel = "KestroBump_ParallelLight";
    static constexpr std::string_view kBumpSpot = "KestroBump_SpotLight";
    static constexpr std::string_view kGlossParallel = "KestroBumpGloss_ParallelLight";
    static constexpr std::string_view kGlossSpot = "KestroBumpGloss_SpotLight";
    static constexpr std::string_view kEnvParallel = "KestroBumpEnv_ParallelLight";
    static constexpr std::string_view kEnvSpot = "KestroBumpEnv_SpotLight";

    static constexpr std::string_view kBumpMatParallel = "KestroBumpMat_ParallelLight";
    static constexpr std::string_view kEnvMatParallel = "KestroBumpEnvMat_ParallelLight";
    static constexpr std::string_view kEnvMatSpot = "KestroBumpEnvMat_SpotLight";
    static constexpr std::string_view kGlossMatParallel = "KestroBumpGlossMat_ParallelLight";
    static constexpr std::string_view kGlossMatSpot = "KestroBumpGlossMat_SpotLight";
    static constexpr std::string_view kRustMatParallel = "KestroBumpRustMat_ParallelLight";

    // The text of the vertex-program set.
    static const std::string& VertexSetText();
    // The text of a combiner program by its name; empty for another name.
    static const std::string& CombinerText(std::string_view name);
    // Every combiner program name, in the order above.
    static const std::vector<std::string_view>& CombinerNames();
};

}  // namespace Nyx

#include "resources/materials/programs/KestroBumpPrograms.h"

#include <map>

namespace Nyx {

namespace {

// The texts are written with LF here and handed out with CRLF, the form the
// program managers were always given.
std::string WithCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

constexpr std::string_view kVertexSetSource = R"(# KestroBumpMaterial_Vtx
version 2.0

vertexProgram(KestroBumpMaterial_Vtx)
{
    program(KestroBump_ParallelLight, PNTA, ParallelLight, OneTex, Fog)
    program(KestroBump_SpotLight, PNTA, SpotLight, OneTex, Fog)
    program(KestroBumpGloss_ParallelLight, PNTA, ParallelLight, OneTex, SphereMap, Fog)
    program(KestroBumpGloss_SpotLight, PNTA, SpotLight, OneTex, SphereMap, Fog)
    program(KestroBumpEnv_ParallelLight, PNTA, ParallelLight, OneTex, cubeMap, Fog)
    program(KestroBumpEnv_SpotLight, PNTA, SpotLight, OneTex, cubeMap, Fog)
}

API(common)
{
!!ARBvp1.0
ATTRIB iPos = vertex.position;
ATTRIB iNormal = vertex.normal;
ATTRIB iTangent = vertex.attrib[4];
ATTRIB iTex0 = vertex.texcoord[0];
PARAM mvp[4] = { state.matrix.mvp };
PARAM mv[4] = { state.matrix.modelview };
PARAM tex1[4] = { state.matrix.texture[1] };
PARAM lightColor = program.local[4];
PARAM lightPos = program.local[5];
PARAM spotParams = program.local[6];
PARAM lightDir = program.local[7];
PARAM lightAmb = program.local[8];
PARAM basis0 = program.local[9];
PARAM basis1 = program.local[10];
PARAM basis2 = program.local[11];
PARAM globalAmb = program.local[12];
PARAM camPos = program.local[13];
PARAM half = { 0.5, 0.5, 0.5, 0.5 };
PARAM tiny = { 0.05, 0.05, 0.05, 0.05 };
PARAM yAxis = { 0, 1, 0, 0 };
TEMP binormal, lightVec, halfVec, eyeVec, tangentVec, spec, scale, eyePos, eyeNormal, temp;
OUTPUT oPos = result.position;
OUTPUT oColor = result.color.primary;
OUTPUT oSpecular = result.color.secondary;
OUTPUT oTex0 = result.texcoord[0];
OUTPUT oTex1 = result.texcoord[1];
OUTPUT oTex2 = result.texcoord[2];
OUTPUT oTex3 = result.texcoord[3];
OUTPUT oFog = result.fogcoord;

# Clip-space position.
DP4 oPos.x, mvp[0], iPos;
DP4 oPos.y, mvp[1], iPos;
DP4 oPos.z, mvp[2], iPos;
DP4 oPos.w, mvp[3], iPos;

%ifdef ParallelLight
# Tangent frame: tangent, binormal = normal x tangent, normal.
XPD binormal.xyz, iNormal, iTangent;
# The light vector is the negated light direction; into tangent space and 0..1.
DP3 tangentVec.x, iTangent, -lightDir;
DP3 tangentVec.y, binormal, -lightDir;
DP3 tangentVec.z, iNormal, -lightDir;
MAD oColor.xyz, tangentVec, half, half;
MOV oColor.w, yAxis.y;
# Half angle: normalise(normalise(camera - position) - light direction).
ADD eyeVec.xyz, camPos, -iPos;
DP3 eyeVec.w, eyeVec, eyeVec;
RSQ eyeVec.w, eyeVec.w;
MUL eyeVec.xyz, eyeVec, eyeVec.w;
ADD halfVec.xyz, eyeVec, -lightDir;
DP3 halfVec.w, halfVec, halfVec;
RSQ halfVec.w, halfVec.w;
MUL halfVec.xyz, halfVec, halfVec.w;
DP3 tangentVec.x, iTangent, halfVec;
DP3 tangentVec.y, binormal, halfVec;
DP3 tangentVec.z, iNormal, halfVec;
MAD oTex2.xyz, tangentVec, half, half;
MOV oTex2.w, yAxis.y;
# Per-vertex specular: max(half angle z, 0) to the 32nd by five squarings.
MAX spec, tangentVec.z, yAxis.x;
MUL spec, spec, spec;
MUL spec, spec, spec;
MUL spec, spec, spec;
MUL spec, spec, spec;
MUL spec, spec, spec;
MOV oSpecular, spec;
%endif

%ifdef SpotLight
XPD binormal.xyz, iNormal, iTangent;
ADD lightVec.xyz, lightPos, -iPos;
# Attenuation: max(1 - |light vector * inverse radius|^2, 0) into scale.y.
MUL temp.xyz, lightVec, spotParams.y;
DP3 temp.w, temp, temp;
ADD scale.y, yAxis.y, -temp.w;
MAX scale.y, scale.y, yAxis.x;
DP3 lightVec.w, lightVec, lightVec;
RSQ lightVec.w, lightVec.w;
MUL lightVec.xyz, lightVec, lightVec.w;
# Cone: the cosine towards the light's axis against the cosine of its angle.
DP3 scale.x, lightVec, -lightDir;
SGE scale.z, scale.x, spotParams.x;
MUL scale.w, scale.x, scale.z;
MUL scale.w, scale.w, scale.y;
DP3 tangentVec.x, iTangent, lightVec;
DP3 tangentVec.y, binormal, lightVec;
DP3 tangentVec.z, iNormal, lightVec;
MUL tangentVec.xyz, tangentVec, scale.w;
MAD oColor.xyz, tangentVec, half, half;
MOV oColor.w, yAxis.y;
# The half angle comes from the light's direction, as for a parallel light.
ADD eyeVec.xyz, camPos, -iPos;
DP3 eyeVec.w, eyeVec, eyeVec;
RSQ eyeVec.w, eyeVec.w;
MUL eyeVec.xyz, eyeVec, eyeVec.w;
ADD halfVec.xyz, eyeVec, -lightDir;
DP3 halfVec.w, halfVec, halfVec;
RSQ halfVec.w, halfVec.w;
MUL halfVec.xyz, halfVec, halfVec.w;
DP3 tangentVec.x, iTangent, halfVec;
DP3 tangentVec.y, binormal, halfVec;
DP3 tangentVec.z, iNormal, halfVec;
MUL tangentVec.xyz, tangentVec, scale.w;
MAD oTex2.xyz, tangentVec, half, half;
MOV oTex2.w, yAxis.y;
MAX spec, tangentVec.z, yAxis.x;
MUL spec, spec, spec;
MUL spec, spec, spec;
MUL spec, spec, spec;
MUL spec, spec, spec;
MUL spec, spec, spec;
MOV oSpecular, spec;
%endif

%ifdef OneTex
# The diffuse texture and the bump map share coordinates.
MOV oTex0, iTex0;
MOV oTex1, iTex0;
%endif

%ifdef SphereMap
DP3 eyeNormal.x, mv[0], iNormal;
DP3 eyeNormal.y, mv[1], iNormal;
DP3 eyeNormal.z, mv[2], iNormal;
MOV eyeNormal.y, -eyeNormal.y;
MAD temp.xyz, eyeNormal, half, half;
MAD oTex3.xy, iTex0, tiny, temp;
MOV oTex3.z, temp.z;
MOV oTex3.w, yAxis.y;
%endif

%ifdef cubeMap
DP4 eyePos.x, mv[0], iPos;
DP4 eyePos.y, mv[1], iPos;
DP4 eyePos.z, mv[2], iPos;
DP3 eyeNormal.x, mv[0], iNormal;
DP3 eyeNormal.y, mv[1], iNormal;
DP3 eyeNormal.z, mv[2], iNormal;
DP3 eyeNormal.w, eyeNormal, eyeNormal;
RSQ eyeNormal.w, eyeNormal.w;
MUL eyeNormal.xyz, eyeNormal, eyeNormal.w;
DP3 temp.w, eyePos, eyePos;
RSQ temp.w, temp.w;
MUL temp.xyz, eyePos, temp.w;
# Reflection: view - 2 (normal . view) normal.
DP3 scale.x, eyeNormal, temp;
MAD temp.xyz, eyeNormal, -scale.x, temp;
MAD temp.xyz, eyeNormal, -scale.x, temp;
MOV temp.w, yAxis.y;
DP4 oTex3.x, tex1[0], temp;
DP4 oTex3.y, tex1[1], temp;
DP4 oTex3.z, tex1[2], temp;
DP4 oTex3.w, tex1[3], temp;
%endif

%ifdef Fog
# Distance from the eye, not depth along the view axis.
DP4 eyePos.x, mv[0], iPos;
DP4 eyePos.y, mv[1], iPos;
DP4 eyePos.z, mv[2], iPos;
DP3 eyePos.w, eyePos, eyePos;
POW oFog.x, eyePos.w, half.x;
%endif
END
}
)";

// The three register headers.
constexpr std::string_view kPlainRegisters = R"(    constant(0, LightDiff, 0.0, 0.0, 0.0, 1.0)
    constant(1, LightAmb, 0.0, 0.0, 0.0, 1.0)
    constant(2, Specular, 0.9, 0.9, 0.9, 0.75)
)";
constexpr std::string_view kGlossRegisters = R"(    constant(0, LightDiff, 0.0, 0.0, 0.0, 1.0)
    constant(1, LightAmb, 0.0, 0.0, 0.0, 1.0)
    constant(2, Lerp, 0.0, 0.0, 1.0, 1.0)
    constant(3, Specular, 0.9, 0.9, 0.9, 0.75)
)";
constexpr std::string_view kRustRegisters = R"(    constant(0, LightDiff, 0.0, 0.0, 0.0, 1.0)
    constant(1, LightAmb, 0.0, 0.0, 0.0, 1.0)
    constant(2, RustColor, 0.0, 0.0, 1.0, 1.0)
    constant(3, Specular, 0.9, 0.9, 0.9, 0.75)
)";

// Stage 0 the diffuse texture, 1 the bump map, 2 the half angle; v0 the
// light vector, v1 the per-vertex specular.
constexpr std::string_view kBumpBody = R"(ps.1.1
tex t0
tex t1
tex t2
// lit colour = 2 sat(sat(N.L) LightDiff + LightAmb) diffuse
dp3_sat r1, t1_bx2, v0_bx2
mad_sat r1, r1, c[^LightDiff], c[^LightAmb]
mul_x2 r0.rgb, r1, t0
+mul r0.a, t0.a, c[^LightDiff].a
// per-pixel specular sat(4 (d^4 - Specular alpha)), weight sat(4 (N.z - Specular alpha))
dp3_sat r1, t1_bx2, t2_bx2
mul r1, r1, r1
mul r1, r1, r1
add_x4_sat r1.rgb, r1, -c[^Specular].a
+add_x4_sat r1.a, t1_bx2.b, -c[^Specular].a
lrp r1.rgb, r1.a, v1.b, r1
// the specular colour is scaled by the bump map's alpha
mul t2.rgb, c[^Specular], t1.a
mad r0.rgb, r1, t2, r0
)";

constexpr std::string_view kBumpSimpleBody = R"(ps.1.1
tex t0
tex t1
dp3_sat r1, t1_bx2, v0_bx2
mad_sat r1, r1, c[^LightDiff], c[^LightAmb]
mul_x2 r0.rgb, r1, t0
+mul r0.a, t0.a, c[^LightDiff].a
)";

constexpr std::string_view kSimpleBody = R"(ps.1.1
tex t0
tex t1
dp3_sat r1, t1_bx2, v0_bx2
mad_sat r1, r1, c[^LightDiff], c[^LightAmb]
mul_x2 r0.rgb, r1, t0
+mov r0.a, c[^LightDiff].a
)";

// The common opening of every program but the bump one: the specular
// threshold lerps between the Specular and LightAmb alphas by the bump
// map's alpha, kept in t2.a (the half angle needs only rgb).
constexpr std::string_view kLitOpening = R"(lrp t2.a, t1.a, c[^Specular].a, c[^LightAmb].a
dp3_sat r1, t1_bx2, v0_bx2
mad_sat r1, r1, c[^LightDiff], c[^LightAmb]
mul_x2 r0.rgb, r1, t0
)";

constexpr std::string_view kSpecularClosing = R"(dp3_sat r1, t1_bx2, t2_bx2
mul r1, r1, r1
mul r1, r1, r1
add_x4_sat r1.rgb, r1, -t2.a
+add_x4_sat r1.a, t1_bx2.b, -t2.a
lrp r1.rgb, r1.a, v1.b, r1
)";

std::string Combiner(std::string_view name, std::string_view registers, std::string_view body,
                     std::string_view simpleBody)
{
    std::string text = "# " + std::string(name) + "_Pxl\nversion 1.1\n\nheader(" + std::string(name) + ")\n{\n";
    text += registers;
    text += "}\n\nAPI(common)\n{\n";
    text += body;
    text += "}\n";
    if (!simpleBody.empty()) {
        text += "\n/*\nAPI(common)\n{\n";
        text += simpleBody;
        text += "}\n*/\n";
    }
    return WithCrLf(text);
}

std::string Join(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (std::string_view part : parts)
        out += part;
    return out;
}

const std::map<std::string_view, std::string>& Combiners()
{
    static const std::map<std::string_view, std::string> texts = [] {
        std::map<std::string_view, std::string> t;
        t[KestroBumpPrograms::kBumpMatParallel] =
            Combiner(KestroBumpPrograms::kBumpMatParallel, kPlainRegisters, kBumpBody, kBumpSimpleBody);
        t[KestroBumpPrograms::kEnvMatParallel] = Combiner(
            KestroBumpPrograms::kEnvMatParallel, kPlainRegisters,
            Join({"ps.1.1\ntex t0\ntex t1\ntex t2\ntex t3\n", kLitOpening,
                  "// the cube reflection mixed in by the diffuse texture's alpha\nlrp r0.rgb, t0.a, t3, r0\n",
                  kSpecularClosing, "mad r0.rgb, r1, c[^Specular], r0\n+mov r0.a, c[^LightDiff].a\n"}),
            {});
        t[KestroBumpPrograms::kEnvMatSpot] =
            Combiner(KestroBumpPrograms::kEnvMatSpot, kPlainRegisters,
                     Join({"ps.1.1\ntex t0\ntex t1\ntex t2\n", kLitOpening, kSpecularClosing,
                           "mad r0.rgb, r1, c[^Specular], r0\n+mov r0.a, c[^LightDiff].a\n"}),
                     {});
        t[KestroBumpPrograms::kGlossMatParallel] = Combiner(
            KestroBumpPrograms::kGlossMatParallel, kGlossRegisters,
            Join({"ps.1.1\ntex t0\ntex t1\ntex t2\ntex t3\n", kLitOpening,
                  "// the gloss texture mixed in by the Lerp register\nlrp r0.rgb, c[^Lerp], t3, r0\n",
                  kSpecularClosing, "mad r0.rgb, r1, c[^Specular], r0\n+mov r0.a, c[^LightDiff].a\n"}),
            kSimpleBody);
        t[KestroBumpPrograms::kGlossMatSpot] =
            Combiner(KestroBumpPrograms::kGlossMatSpot, kGlossRegisters,
                     Join({"ps.1.1\ntex t0\ntex t1\ntex t2\n", kLitOpening, kSpecularClosing,
                           "mad r0.rgb, r1, c[^Specular], r0\n+mov r0.a, c[^LightDiff].a\n"}),
                     kSimpleBody);
        t[KestroBumpPrograms::kRustMatParallel] = Combiner(
            KestroBumpPrograms::kRustMatParallel, kRustRegisters,
            Join({"ps.1.1\ntex t0\ntex t1\ntex t2\n",
                  "// rust amount sat((1 - texture alpha) RustColor alpha) replaces the texture colour\n"
                  "mul_sat t3.a, 1-t0.a, c[^RustColor].a\nlrp t0.rgb, t3.a, c[^RustColor], t0\n",
                  kLitOpening, kSpecularClosing,
                  "// rusted parts shine less\nmul t3.rgb, c[^Specular], 1-t3.a\nmad r0.rgb, r1, t3, r0\n"
                  "+mov r0.a, c[^LightDiff].a\n"}),
            kSimpleBody);
        return t;
    }();
    return texts;
}

}  // namespace

const std::string& KestroBumpPrograms::VertexSetText()
{
    static const std::string text = WithCrLf(kVertexSetSource);
    return text;
}

const std::string& KestroBumpPrograms::CombinerText(std::string_view name)
{
    static const std::string kNone;
    const auto& texts = Combiners();
    auto it = texts.find(name);
    return it == texts.end() ? kNone : it->second;
}

const std::vector<std::string_view>& KestroBumpPrograms::CombinerNames()
{
    static const std::vector<std::string_view> names = {kBumpMatParallel,  kEnvMatParallel, kEnvMatSpot,
                                                        kGlossMatParallel, kGlossMatSpot,   kRustMatParallel};
    return names;
}

}  // namespace Nyx

// Ray queries against heightfield meshes: the collision box tree beside
// testing every triangle and beside Embree 3, single-threaded, on steep and
// on oblique rays. Before measuring, the tree must agree with brute force on
// every ray of a sample (same triangle, same distance); Embree's answers are
// compared over the whole ray set and the differences counted.
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "resources/collision/KSAxisBoxTree.h"
#include "resources/collision/TriangleTests.h"

namespace {

using V = Nyx::Vector3f;

constexpr uint32_t kRayCount = 1000000;
constexpr uint32_t kCheckedRays = 2000;
constexpr uint32_t kBruteForceBatch = 32;
constexpr float kSegmentLength = 4000.0f;
constexpr uint32_t kFacesPerChunk = 21845;  // references keep 16 bits

// A grid of w × h squares, two triangles each, over a rolling surface.
class Heightfield : public KSAxisBoxTreeExternalGeometry {
public:
    Heightfield(uint32_t w, uint32_t h) : w_(w), h_(h)
    {
        for (uint32_t y = 0; y <= h; ++y) {
            for (uint32_t x = 0; x <= w; ++x) {
                const float fx = static_cast<float>(x);
                const float fy = static_cast<float>(y);
                vertices.push_back({fx, fy,
                                    8.0f * std::sin(fx * 0.05f) * std::cos(fy * 0.07f) +
                                        2.0f * std::sin(fx * 0.31f + fy * 0.17f)});
            }
        }
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t i = y * (w + 1) + x;
                indices.insert(indices.end(), {i, i + 1, i + w + 2, i, i + w + 2, i + w + 1});
            }
        }
    }

    uint32_t TriangleCount() const { return static_cast<uint32_t>(indices.size() / 3); }
    uint32_t Width() const { return w_; }
    uint32_t Height() const { return h_; }
    void Corners(uint32_t t, V c[3]) const
    {
        for (int k = 0; k < 3; ++k)
            c[k] = vertices[indices[3 * t + k]];
    }
    bool GetTriangleCorners(uint32_t reference, V corners[3]) const override
    {
        const uint32_t t = (reference >> 16) * kFacesPerChunk + (reference & 0xFFFF) / 3;
        if (t >= TriangleCount())
            return false;
        Corners(t, corners);
        return true;
    }
    static uint32_t TriangleOf(uint32_t reference) { return (reference >> 16) * kFacesPerChunk + (reference & 0xFFFF) / 3; }

    std::vector<V> vertices;
    std::vector<uint32_t> indices;

private:
    uint32_t w_;
    uint32_t h_;
};

struct Ray {
    V origin;
    V direction;  // unit length
};

// Rays from above the field towards points inside it: steep ones nearly
// straight down, oblique ones at 15 to 35 degrees above the horizon.
std::vector<Ray> MakeRays(const Heightfield& field, bool steep, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Ray> rays(kRayCount);
    const float w = static_cast<float>(field.Width());
    const float h = static_cast<float>(field.Height());
    for (Ray& ray : rays) {
        const V target{w * (0.05f + 0.9f * unit(rng)), h * (0.05f + 0.9f * unit(rng)), 0.0f};
        const float heading = 6.2831853f * unit(rng);
        const float elevation = steep ? 1.4f + 0.17f * unit(rng) : 0.26f + 0.35f * unit(rng);
        const V towards{std::cos(heading) * std::cos(elevation), std::sin(heading) * std::cos(elevation),
                        -std::sin(elevation)};
        const float back = 30.0f / std::sin(elevation);
        ray.origin = target - towards * back;
        ray.direction = towards;
    }
    return rays;
}

struct Hit {
    int64_t triangle = -1;
    float distance = 0.0f;
};

Hit TreeHit(const KSAxisBoxTree& tree, const Ray& ray)
{
    KSAxisBoxTreeResult result;
    if (!tree.Query(ray.origin, ray.origin + ray.direction * kSegmentLength, result))
        return {};
    return {Heightfield::TriangleOf(static_cast<uint32_t>(result.reference)), result.distance * kSegmentLength};
}

Hit BruteForceHit(const Heightfield& field, const Ray& ray)
{
    Hit hit;
    float nearest = kSegmentLength;
    V c[3];
    for (uint32_t t = 0; t < field.TriangleCount(); ++t) {
        field.Corners(t, c);
        const float before = nearest;
        if (RayTriangleIntersect(c[0], c[1], c[2], ray.origin, ray.direction, true, nearest) && nearest < before)
            hit.triangle = t;
    }
    hit.distance = nearest;
    return hit;
}

struct EmbreeScene {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    ~EmbreeScene()
    {
        if (scene)
            rtcReleaseScene(scene);
        if (device)
            rtcReleaseDevice(device);
    }
};

Hit EmbreeHit(RTCScene scene, const Ray& ray)
{
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit rh{};
    rh.ray.org_x = ray.origin.x;
    rh.ray.org_y = ray.origin.y;
    rh.ray.org_z = ray.origin.z;
    rh.ray.dir_x = ray.direction.x;
    rh.ray.dir_y = ray.direction.y;
    rh.ray.dir_z = ray.direction.z;
    rh.ray.tnear = 0.0f;
    rh.ray.tfar = kSegmentLength;
    rh.ray.mask = 0xFFFFFFFFu;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene, &context, &rh);
    if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID)
        return {};
    return {rh.hit.primID, rh.ray.tfar};
}

struct Mesh {
    std::unique_ptr<Heightfield> field;
    std::unique_ptr<KSAxisBoxTree> tree;
    EmbreeScene embree;
    std::vector<Ray> rays[2];  // oblique, steep
};

std::map<uint32_t, Mesh>& Meshes()
{
    static std::map<uint32_t, Mesh> meshes;
    return meshes;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Builds the mesh's tree and Embree scene, checks them; false on a
// disagreement between the tree and brute force.
bool Prepare(uint32_t triangles, uint32_t w, uint32_t h)
{
    Mesh& mesh = Meshes()[triangles];
    mesh.field = std::make_unique<Heightfield>(w, h);
    const Heightfield& field = *mesh.field;

    auto start = std::chrono::steady_clock::now();
    mesh.tree = std::make_unique<KSAxisBoxTree>();
    mesh.tree->BeginBuild(&field);
    V c[3];
    for (uint32_t t = 0; t < field.TriangleCount(); ++t) {
        field.Corners(t, c);
        mesh.tree->AddFace(c[0], c[1], c[2], t / kFacesPerChunk, t % kFacesPerChunk);
    }
    if (!mesh.tree->Build() || mesh.tree->GetSkippedCount() != 0) {
        std::fprintf(stderr, "collision tree build failed for %u triangles\n", triangles);
        return false;
    }
    const double treeBuild = Seconds(start);

    start = std::chrono::steady_clock::now();
    mesh.embree.device = rtcNewDevice("threads=1");
    mesh.embree.scene = rtcNewScene(mesh.embree.device);
    RTCGeometry geometry = rtcNewGeometry(mesh.embree.device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* vb = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                           3 * sizeof(float), field.vertices.size()));
    for (size_t i = 0; i < field.vertices.size(); ++i) {
        vb[3 * i] = field.vertices[i].x;
        vb[3 * i + 1] = field.vertices[i].y;
        vb[3 * i + 2] = field.vertices[i].z;
    }
    auto* ib = static_cast<uint32_t*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                              3 * sizeof(uint32_t), field.TriangleCount()));
    std::copy(field.indices.begin(), field.indices.end(), ib);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(mesh.embree.scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(mesh.embree.scene);
    const double embreeBuild = Seconds(start);
    std::printf("%u triangles: tree built in %.3f s (%zu nodes, depth %u), Embree scene in %.3f s\n", triangles,
                treeBuild, mesh.tree->GetNodes().size(), mesh.tree->GetDepth(), embreeBuild);

    for (int steep = 0; steep < 2; ++steep) {
        mesh.rays[steep] = MakeRays(field, steep == 1, triangles + steep);
        uint32_t treeHits = 0;
        for (uint32_t r = 0; r < kCheckedRays; ++r) {
            const Ray& ray = mesh.rays[steep][r];
            const Hit tree = TreeHit(*mesh.tree, ray);
            const Hit brute = BruteForceHit(field, ray);
            if (tree.triangle != brute.triangle ||
                (tree.triangle >= 0 && std::fabs(tree.distance - brute.distance) > 1e-4f * kSegmentLength)) {
                std::fprintf(stderr, "%u triangles, %s ray %u: tree %lld at %.6f, brute force %lld at %.6f\n",
                             triangles, steep ? "steep" : "oblique", r, static_cast<long long>(tree.triangle),
                             tree.distance, static_cast<long long>(brute.triangle), brute.distance);
                return false;
            }
            treeHits += tree.triangle >= 0;
        }
        uint32_t differ = 0;
        for (const Ray& ray : mesh.rays[steep]) {
            const Hit tree = TreeHit(*mesh.tree, ray);
            const Hit embree = EmbreeHit(mesh.embree.scene, ray);
            if ((tree.triangle >= 0) != (embree.triangle >= 0) ||
                (tree.triangle >= 0 && std::fabs(tree.distance - embree.distance) > 1e-3f))
                ++differ;
        }
        std::printf("%u triangles, %s rays: tree and brute force agree on %u checked rays (%u hits); "
                    "Embree differs on %u of %u rays\n",
                    triangles, steep ? "steep" : "oblique", kCheckedRays, treeHits, differ, kRayCount);
    }
    return true;
}

void BM_Tree(benchmark::State& state)
{
    const Mesh& mesh = Meshes()[static_cast<uint32_t>(state.range(0))];
    const std::vector<Ray>& rays = mesh.rays[state.range(1)];
    for (auto _ : state) {
        for (const Ray& ray : rays) {
            KSAxisBoxTreeResult result;
            benchmark::DoNotOptimize(mesh.tree->Query(ray.origin, ray.origin + ray.direction * kSegmentLength, result));
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRayCount);
}

void BM_BruteForce(benchmark::State& state)
{
    const Mesh& mesh = Meshes()[static_cast<uint32_t>(state.range(0))];
    const std::vector<Ray>& rays = mesh.rays[state.range(1)];
    uint32_t next = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBruteForceBatch; ++i)
            benchmark::DoNotOptimize(BruteForceHit(*mesh.field, rays[next++ % kRayCount]));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBruteForceBatch);
}

void BM_Embree(benchmark::State& state)
{
    const Mesh& mesh = Meshes()[static_cast<uint32_t>(state.range(0))];
    const std::vector<Ray>& rays = mesh.rays[state.range(1)];
    for (auto _ : state) {
        for (const Ray& ray : rays)
            benchmark::DoNotOptimize(EmbreeHit(mesh.embree.scene, ray));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRayCount);
}

constexpr uint32_t kMeshes[] = {32768, 100000, 524288};

void Register()
{
    for (uint32_t triangles : kMeshes) {
        for (int64_t steep : {0, 1}) {
            benchmark::RegisterBenchmark("BM_Tree", BM_Tree)->Args({triangles, steep})->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("BM_BruteForce", BM_BruteForce)
                ->Args({triangles, steep})
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("BM_Embree", BM_Embree)->Args({triangles, steep})->Unit(benchmark::kMillisecond);
        }
    }
}

class RaysReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> raysPerSecond;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            const auto it = r.counters.find("items_per_second");
            if (it != r.counters.end() && (r.run_type == Run::RT_Iteration || r.aggregate_name == "median"))
                raysPerSecond[r.run_name.function_name + "/" + r.run_name.args] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Of(const std::string& key) const
    {
        const auto it = raysPerSecond.find(key);
        return it == raysPerSecond.end() ? 0.0 : it->second;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // 32,768 = 2 × 128²; 100,000 = 2 × 250 × 200; 524,288 = 2 × 512².
    if (!Prepare(32768, 128, 128) || !Prepare(100000, 250, 200) || !Prepare(524288, 512, 512))
        return 1;
    Register();
    RaysReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // The last line gives the geometric mean over the meshes and both ray
    // sets.
    double logSum = 0.0;
    int ratios = 0;
    for (uint32_t triangles : kMeshes) {
        for (int steep = 0; steep < 2; ++steep) {
            const std::string args = std::to_string(triangles) + "/" + std::to_string(steep);
            const double tree = reporter.Of("BM_Tree/" + args);
            const double brute = reporter.Of("BM_BruteForce/" + args);
            const double embree = reporter.Of("BM_Embree/" + args);
            if (tree <= 0)
                continue;
            std::printf("%u triangles, %s rays: tree %.0f rays/s, brute force %.0f rays/s (tree / brute force %.1f), "
                        "Embree %.0f rays/s (tree / Embree %.3f)\n",
                        triangles, steep ? "steep" : "oblique", tree, brute, brute > 0 ? tree / brute : 0.0, embree,
                        embree > 0 ? tree / embree : 0.0);
            if (embree > 0) {
                logSum += std::log(tree / embree);
                ++ratios;
            }
        }
    }
    std::printf("leaf triangles tested with the %s kernel\n", KSLeafTriangles::NameOf(KSLeafTriangles::Best()));
    std::printf("Collision tree / Embree rays per second: %.3f (goal: at least 0.2)\n",
                ratios > 0 ? std::exp(logSum / ratios) : 0.0);
    return 0;
}

#include "QualityVideos.h"

#include "Fnv.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace {

// 320x240 keeps the videos quick to make and to read; the descriptors do not
// need more.
const char* const kSize = "s=320x240:r=25";

std::string source(Shot shot) {
    const std::string s = kSize;
    switch (shot) {
    case Shot::Pattern:
        return "testsrc2=" + s + ",hue=s=0.3,gblur=sigma=6";
    // Each Mandelbrot zoom stays clear of the junk filter for as long as the
    // scenes below last (the first 13 s, the seahorse 7 s).
    case Shot::Fractal:
        return "mandelbrot=" + s + ",hue=s=0.5";
    case Shot::Seahorse:
        return "mandelbrot=" + s +
               ":start_x=-0.743643887037151:start_y=0.131825904205330:start_scale=0.02,hue=s=0.4";
    case Shot::Valley:
        return "mandelbrot=" + s + ":start_x=-1.25066:start_y=0.02012:start_scale=0.1,hue=s=0.5";
    // Gradients with every colour and point given: left to chance, they
    // would differ from one shot to the next.
    case Shot::Rings:
        return "gradients=" + s +
               ":type=circular:speed=0.02:nb_colors=5:c0=0x3060a0:c1=0xa0c040:c2=0xe08030"
               ":c3=0x6040a0:c4=0x40a080:x0=160:y0=120:x1=300:y1=40";
    case Shot::Spiral:
        return "gradients=" + s +
               ":type=spiral:speed=0.01:nb_colors=4:c0=0x204080:c1=0xd0a040:c2=0x40a060"
               ":c3=0xa03050:x0=120:y0=100:x1=250:y1=200";
    case Shot::Black:
        return "color=c=black:" + s;
    case Shot::Bars:
        return "smptebars=" + s;
    }
    return {};
}

std::string filterGraph(const QualityVideo& video) {
    std::string graph;
    for (size_t i = 0; i < video.scenes.size(); ++i) {
        const Scene& scene = video.scenes[i];
        graph += source(scene.shot) + ",trim=end_frame=" + std::to_string(scene.frames);
        if (scene.flashAt >= 0)
            graph += ",drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='between(n," +
                     std::to_string(scene.flashAt) + "," +
                     std::to_string(scene.flashAt + kFlashFrames - 1) + ")'";
        graph += ",format=yuv420p[s" + std::to_string(i) + "];";
    }
    for (size_t i = 0; i < video.scenes.size(); ++i)
        graph += "[s" + std::to_string(i) + "]";
    return graph + "concat=n=" + std::to_string(video.scenes.size()) + ":v=1:a=0[v]";
}

bool run(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

const std::vector<QualityVideo>& qualityVideos() {
    using S = Shot;
    static const std::vector<QualityVideo> videos = {
        // 207 s: long shots, most of them seen again.
        {"feature",
         {{S::Pattern, 310},  {S::Fractal, 262},     {S::Black, 25},    {S::Rings, 340},
          {S::Bars, 88},      {S::Spiral, 415, 200}, {S::Valley, 290},  {S::Pattern, 230},
          {S::Seahorse, 170}, {S::Rings, 280},       {S::Spiral, 360},  {S::Fractal, 25},
          {S::Valley, 335},   {S::Fractal, 240},     {S::Pattern, 390}, {S::Seahorse, 60},
          {S::Rings, 300},    {S::Seahorse, 160},    {S::Spiral, 420},  {S::Valley, 275},
          {S::Pattern, 205}}},
        // 103 s of shots of 1 to 6 s.
        {"newsreel",
         {{S::Spiral, 130},   {S::Pattern, 95},    {S::Valley, 140},  {S::Black, 25},
          {S::Fractal, 110},  {S::Rings, 160, 60}, {S::Spiral, 90},   {S::Bars, 50},
          {S::Seahorse, 120}, {S::Pattern, 140},   {S::Rings, 85},    {S::Valley, 105},
          {S::Fractal, 150},  {S::Spiral, 115},    {S::Seahorse, 25}, {S::Pattern, 100},
          {S::Seahorse, 95},  {S::Rings, 130},     {S::Valley, 80},   {S::Fractal, 120},
          {S::Spiral, 145},   {S::Pattern, 110},   {S::Rings, 125},   {S::Valley, 135}}},
        // 42 s of quick cuts.
        {"trailer", {{S::Rings, 45},  {S::Pattern, 60}, {S::Fractal, 38},  {S::Spiral, 70},
                     {S::Black, 25},  {S::Valley, 52},  {S::Seahorse, 41}, {S::Pattern, 66, 30},
                     {S::Rings, 35},  {S::Bars, 30},    {S::Spiral, 48},   {S::Fractal, 57},
                     {S::Valley, 39}, {S::Pattern, 44}, {S::Seahorse, 63}, {S::Rings, 72},
                     {S::Spiral, 36}, {S::Fractal, 49}, {S::Valley, 58},   {S::Pattern, 75},
                     {S::Rings, 51}}},
        // Three fragments, the last one short.
        {"clip", {{S::Fractal, 38}, {S::Rings, 30}}},
    };
    return videos;
}

std::vector<FrameTruth> frameTruth(const QualityVideo& video) {
    std::vector<FrameTruth> frames;
    for (size_t i = 0; i < video.scenes.size(); ++i) {
        const Scene& scene = video.scenes[i];
        const bool junkShot = scene.shot == Shot::Black || scene.shot == Shot::Bars;
        for (int k = 0; k < scene.frames; ++k) {
            const bool flash =
                scene.flashAt >= 0 && k >= scene.flashAt && k < scene.flashAt + kFlashFrames;
            frames.push_back({static_cast<int>(i), scene.shot, junkShot || flash});
        }
    }
    return frames;
}

std::string qualityVideoFile(const QualityVideo& video, const std::string& folder,
                             std::string* error) {
    const std::string graph = filterGraph(video);
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(fnv1a(kFnvStart, graph.data(), graph.size())));
    const std::string path = folder + "/" + video.name + "-" + hash + ".mp4";
    if (std::filesystem::exists(path))
        return path;
    std::error_code ignored; // a folder that cannot be made fails ffmpeg below
    std::filesystem::create_directories(folder, ignored);
    // Made under another name and renamed, so an interrupted run leaves no
    // partial video to be taken for a whole one.
    const std::string partial = path + ".partial.mp4";
    const bool made = run({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                           "-filter_complex", graph, "-map", "[v]", "-c:v", "libx264", "-preset",
                           "veryfast", "-crf", "23", "-g", "50", partial});
    if (!made || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        *error = "ffmpeg could not make " + path;
        return {};
    }
    return path;
}

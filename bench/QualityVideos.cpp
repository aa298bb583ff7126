#include "QualityVideos.h"

#include "Fnv.h"

#include <fcntl.h>
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

bool isJunk(Shot shot) {
    return shot == Shot::Black || shot == Shot::Bars || shot == Shot::Card || shot == Shot::Noise;
}

bool isOrdinary(Shot shot) {
    return shot == Shot::Wall || shot == Shot::Photo || shot == Shot::Interior ||
           shot == Shot::Cartoon;
}

std::string source(Shot shot) {
    const std::string s = kSize;
    switch (shot) {
    case Shot::Pattern:
        return "testsrc2=" + s + ",hue=s=0.3,gblur=sigma=6" + kFilmGrain;
    // Each Mandelbrot zoom keeps its colour structure for as long as the
    // scenes below last (the first 13 s, the seahorse 7 s).
    case Shot::Fractal:
        return "mandelbrot=" + s + ",hue=s=0.5" + kFilmGrain;
    case Shot::Seahorse:
        return "mandelbrot=" + s +
               ":start_x=-0.743643887037151:start_y=0.131825904205330:start_scale=0.02,hue=s=0.4" +
               kFilmGrain;
    case Shot::Valley:
        return "mandelbrot=" + s + ":start_x=-1.25066:start_y=0.02012:start_scale=0.1,hue=s=0.5" +
               kFilmGrain;
    // Gradients with every colour and point given: left to chance, they
    // would differ from one shot to the next.
    case Shot::Rings:
        return "gradients=" + s +
               ":type=circular:speed=0.02:nb_colors=5:c0=0x3060a0:c1=0xa0c040:c2=0xe08030"
               ":c3=0x6040a0:c4=0x40a080:x0=160:y0=120:x1=300:y1=40" +
               kFilmGrain;
    case Shot::Spiral:
        return "gradients=" + s +
               ":type=spiral:speed=0.01:nb_colors=4:c0=0x204080:c1=0xd0a040:c2=0x40a060"
               ":c3=0xa03050:x0=120:y0=100:x1=250:y1=200" +
               kFilmGrain;
    // Light from above on a pale wall, and a small reddish object moving to
    // and fro in front of it.
    case Shot::Wall:
        return "nullsrc=" + s +
               ",format=yuv420p,geq=lum='176+32*Y/H':cb='if(between(X-W*0.3*sin(T*0.8)\\,W*0.3\\,"
               "W*0.5)*between(Y\\,H*0.3\\,H*0.7)\\,110\\,128)':cr='if(between(X-W*0.3*sin(T*0.8)"
               "\\,W*0.3\\,W*0.5)*between(Y\\,H*0.3\\,H*0.7)\\,150\\,128)'" +
               kFilmGrain;
    case Shot::Photo:
        return "mandelbrot=s=960x720:r=25:start_x=-0.75:start_scale=1.2:end_scale=1.2,hue=s=0.6,"
               "gblur=sigma=2,crop=320:240:x='100+n*1.5':y='80+n*0.5'" +
               std::string(kFilmGrain);
    // A dim room: warm shadows, and a lamp.
    case Shot::Interior:
        return "gradients=" + s +
               ":type=radial:speed=0.004:nb_colors=3:c0=0x4a3a28:c1=0x1a140e:c2=0x2a2438:x0=230:"
               "y0=70:x1=40:y1=220,drawbox=x=215:y=55:w=24:h=30:color=0xd8c8a0:t=fill" +
               kFilmGrain;
    // Flat colours of an animated film: sky, ground, a figure; the camera
    // moves slowly.
    case Shot::Cartoon:
        return "color=c=0x8fb4d0:s=480x240:r=25,drawbox=x=200:y=80:w=80:h=60:color=0xc89060:t="
               "fill,drawbox=x=0:y=180:w=480:h=60:color=0x88a868:t=fill,crop=320:240:x='n*1.5':y="
               "0";
    case Shot::Black:
        return "color=c=black:" + s + ",noise=alls=2:allf=t";
    case Shot::Bars:
        return "smptebars=" + s;
    case Shot::Card:
        return "testsrc=" + s;
    case Shot::Noise:
        return "color=c=gray:" + s + ",noise=c0s=100:c0f=t";
    }
    return {};
}

std::string trimmed(Shot shot, int from, int to) {
    return source(shot) + ",trim=start_frame=" + std::to_string(from) +
           ":end_frame=" + std::to_string(to) + ",setpts=PTS-STARTPTS,format=yuv420p";
}

std::string filterGraph(const SyntheticVideo& video) {
    std::string graph;
    std::string pieces;
    int count = 0;
    for (size_t i = 0; i < video.scenes.size(); ++i) {
        const Scene& scene = video.scenes[i];
        const std::string n = std::to_string(i);
        const int dissolve = i > 0 ? scene.dissolve : 0;
        if (dissolve > 0) {
            const Scene& before = video.scenes[i - 1];
            graph += trimmed(before.shot, before.frames, before.frames + dissolve) + "[a" + n +
                     "];" + trimmed(scene.shot, 0, dissolve) + "[b" + n + "];[a" + n + "][b" + n +
                     "]blend=all_expr='A+(B-A)*(N+1)/" + std::to_string(dissolve + 1) + "'[d" + n +
                     "];";
            pieces += "[d" + n + "]";
            ++count;
        }
        graph += trimmed(scene.shot, dissolve, scene.frames);
        if (scene.flashAt >= 0)
            graph += ",drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='between(n," +
                     std::to_string(scene.flashAt - dissolve) + "," +
                     std::to_string(scene.flashAt - dissolve + kFlashFrames - 1) + ")'";
        graph += "[s" + n + "];";
        pieces += "[s" + n + "]";
        ++count;
    }
    return graph + pieces + "concat=n=" + std::to_string(count) + ":v=1:a=0[v]";
}

const std::vector<SyntheticVideo>& syntheticRecipes() {
    using S = Shot;
    static const std::vector<SyntheticVideo> videos = {
        // 213 s: long shots, most of them seen again, fades through black.
        {"feature", {{S::Pattern, 310},        {S::Wall, 240},
                     {S::Fractal, 262},        {S::Black, 30, -1, 20},
                     {S::Rings, 340, -1, 20},  {S::Bars, 88},
                     {S::Spiral, 415, 200},    {S::Photo, 300},
                     {S::Valley, 290, -1, 25}, {S::Interior, 260},
                     {S::Pattern, 230},        {S::Noise, 30},
                     {S::Seahorse, 170},       {S::Cartoon, 280},
                     {S::Rings, 280, -1, 15},  {S::Spiral, 360},
                     {S::Wall, 190},           {S::Card, 40},
                     {S::Valley, 335},         {S::Interior, 210, -1, 20},
                     {S::Pattern, 390},        {S::Seahorse, 60},
                     {S::Photo, 220}}},
        // 99 s of shots of 1 to 6 s.
        {"newsreel",
         {{S::Spiral, 130},   {S::Pattern, 95},          {S::Valley, 140},  {S::Black, 25},
          {S::Fractal, 110},  {S::Rings, 160, 60},       {S::Wall, 90},     {S::Bars, 50},
          {S::Seahorse, 120}, {S::Pattern, 140, -1, 12}, {S::Cartoon, 85},  {S::Valley, 105},
          {S::Interior, 150}, {S::Spiral, 115},          {S::Noise, 25},    {S::Photo, 100},
          {S::Seahorse, 95},  {S::Rings, 130, -1, 20},   {S::Wall, 80},     {S::Fractal, 120},
          {S::Card, 30},      {S::Pattern, 110},         {S::Cartoon, 125}, {S::Valley, 135}}},
        // 42 s of quick cuts, two flashes.
        {"trailer", {{S::Rings, 45},   {S::Pattern, 60}, {S::Fractal, 38},  {S::Spiral, 70},
                     {S::Black, 25},   {S::Valley, 52},  {S::Seahorse, 41}, {S::Pattern, 66, 30},
                     {S::Cartoon, 35}, {S::Bars, 30},    {S::Spiral, 48},   {S::Fractal, 57},
                     {S::Wall, 39},    {S::Pattern, 44}, {S::Seahorse, 63}, {S::Rings, 72, 20},
                     {S::Spiral, 36},  {S::Fractal, 49}, {S::Valley, 58},   {S::Photo, 75},
                     {S::Rings, 51}}},
        // 60 s of home footage: little colour, slow moves, soft transitions.
        {"home",
         {{S::Wall, 210},
          {S::Interior, 180, -1, 20},
          {S::Photo, 260},
          {S::Cartoon, 170},
          {S::Wall, 150, -1, 25},
          {S::Black, 25},
          {S::Interior, 200},
          {S::Photo, 140, -1, 15},
          {S::Cartoon, 165}}},
    };
    return videos;
}

std::vector<FrameTruth> frameTruth(const SyntheticVideo& video) {
    std::vector<FrameTruth> frames;
    auto frame = [](int scene, Shot shot, bool junk, bool transition) {
        return FrameTruth{scene, junk ? -1 : static_cast<int>(shot), junk, transition,
                          isOrdinary(shot)};
    };
    for (size_t i = 0; i < video.scenes.size(); ++i) {
        const Scene& scene = video.scenes[i];
        const int dissolve = i > 0 ? scene.dissolve : 0;
        for (int k = 0; k < scene.frames; ++k) {
            // The first half of a dissolve still shows the scene before.
            if (k < dissolve / 2) {
                const Shot before = video.scenes[i - 1].shot;
                frames.push_back(frame(static_cast<int>(i) - 1, before, isJunk(before), true));
                continue;
            }
            const bool flash =
                scene.flashAt >= 0 && k >= scene.flashAt && k < scene.flashAt + kFlashFrames;
            frames.push_back(
                frame(static_cast<int>(i), scene.shot, isJunk(scene.shot) || flash, k < dissolve));
        }
    }
    return frames;
}

} // namespace

bool runProgram(const std::vector<std::string>& command, const std::string& outputPath) {
    std::vector<char*> argv;
    for (const std::string& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputPath.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QualityVideo syntheticVideo(const SyntheticVideo& recipe) {
    return {recipe.name, Group::Synthetic, 0, filterGraph(recipe), frameTruth(recipe)};
}

std::vector<QualityVideo> syntheticVideos() {
    std::vector<QualityVideo> videos;
    for (const SyntheticVideo& v : syntheticRecipes())
        videos.push_back(syntheticVideo(v));
    return videos;
}

std::string qualityVideoFile(const QualityVideo& video, const std::string& folder,
                             std::string* error) {
    const std::string& graph = video.graph;
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
    const bool made = runProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                  "-filter_complex", graph, "-map", "[v]", "-c:v", "libx264",
                                  "-preset", "veryfast", "-crf", "23", "-g", "50", partial});
    if (!made || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        *error = "ffmpeg could not make " + path;
        return {};
    }
    return path;
}

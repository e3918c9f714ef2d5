#include "device.h"

std::string Bytes(const std::string &tag, size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i) s += tag + ":" + std::to_string(i) + "\n";
    s.resize(size);
    return s;
}

unsigned long long BlocksOf(const Tree &tree) {
    unsigned long long blocks = tree.folders.size();
    for (const auto &[path, content] : tree.files) blocks += (content.size() + kBlock - 1) / kBlock;
    return blocks;
}

namespace {

void PreparedUpdate(Device &d) {
    auto &card = d.card.files, &flash = d.flash.files;
    for (const char *marker : {"update", "delete_poi", "delete_old"}) card[std::string("ResidentFlash/") + marker] = "";
    card["ResidentFlash/maps/seoul.map"] = "seoul 2026";
    card["ResidentFlash/maps/busan.map"] = "busan 2026";
    for (int i = 1; i <= 8; ++i) card["ResidentFlash/maps/regions/r" + std::to_string(i) + ".map"] = "region " + std::to_string(i);
    card["ResidentFlash/big/atlas.bin"] = Bytes("atlas 2026", 2500000);
    card["ResidentFlash/big/voice.bin"] = Bytes("voice 2026", 1500000);
    for (int i = 1; i <= 30; ++i) card["ResidentFlash/data/d" + std::to_string(i) + ".dat"] = "data " + std::to_string(i);
    card["ResidentFlash/poi/new.poi"] = "poi 2026";
    flash["maps/seoul.map"] = "seoul 2025";
    flash["maps/busan.map"] = "busan 2025";
    flash["maps/jeju.map"] = "jeju 2024";
    flash["big/atlas.bin"] = Bytes("atlas 2025", 1200000);
    for (const char *f : {"poi/a.poi", "poi/b.poi", "poi/sub/c.poi", "poi/sub/d.poi", "old/x1", "old/x2", "old/x3"})
        flash[f] = "old";
    flash["settings.ini"] = "volume=7";
    card["Data.fai"] = "data image";
    card["nk.rom"] = "kernel image";
    card["tcBoot.rom"] = "boot image";
    d.flash.folders = {"maps", "big", "poi", "poi/sub", "old"};
    d.card.folders = {"ResidentFlash", "ResidentFlash/maps", "ResidentFlash/maps/regions", "ResidentFlash/big",
                      "ResidentFlash/data", "ResidentFlash/poi"};
    d.summary = "the prepared update";
}

// 184 blocks, 144 of them taken: the new map fits only where the old one was.
void PreparedRoom(Device &d) {
    d.card.files["ResidentFlash/update"] = "";
    d.card.files["ResidentFlash/maps/seoul.map"] = Bytes("seoul 2026", 512 * 1024);
    d.card.files["ResidentFlash/maps/jeju.map"] = "jeju 2026";
    d.card.files["ResidentFlash/readme.txt"] = "read me";
    d.card.folders = {"ResidentFlash", "ResidentFlash/maps"};
    d.flash.files["maps/seoul.map"] = Bytes("seoul 2025", 512 * 1024);
    d.flash.files["settings.ini"] = Bytes("settings", 64 * 1024 - 100);
    d.flash.folders = {"maps"};
    d.capacity = 184 * kBlock;
    d.summary = "the prepared update on a nearly full store";
}

} // namespace

Device PreparedDevice(bool bRoom) {
    Device d;
    if (bRoom) PreparedRoom(d);
    else PreparedUpdate(d);
    return d;
}

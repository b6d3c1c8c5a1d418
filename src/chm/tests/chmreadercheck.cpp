// chm_reader_check FILE DEST: reads a help file with libmspack and with CHMLib's lookup.
// libmspack lists the files, finds each again through the index and quick-reference
// areas (its binary search), and extracts it under DEST. CHMLib enumerates every entry
// and resolves each one by name, which walks its index chunks. Exit 0 when all agree.
#include <chm_lib.h>
#include <mspack.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

int failures = 0;

void fail(const std::string &what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    ++failures;
}

void checkWithMspack(const char *chmPath, const std::filesystem::path &dest) {
    mschm_decompressor *chmd = mspack_create_chm_decompressor(nullptr);
    if (!chmd)
        return fail("libmspack: no decompressor");
    mschmd_header *chm = chmd->open(chmd, chmPath);
    if (!chm) {
        fail("libmspack: cannot open, error " + std::to_string(chmd->last_error(chmd)));
        mspack_destroy_chm_decompressor(chmd);
        return;
    }
    int count = 0;
    for (mschmd_file *file = chm->files; file; file = file->next) {
        ++count;
        mschmd_file found{};
        if (chmd->fast_find(chmd, chm, file->filename, &found, sizeof found) != MSPACK_ERR_OK || !found.section)
            fail(std::string("libmspack: fast_find misses ") + file->filename);
        else if (found.section->id != file->section->id || found.offset != file->offset ||
                 found.length != file->length)
            fail(std::string("libmspack: fast_find disagrees on ") + file->filename);
        const std::filesystem::path out = dest / (file->filename + 1);
        std::filesystem::create_directories(out.parent_path());
        if (chmd->extract(chmd, file, out.c_str()) != MSPACK_ERR_OK)
            fail(std::string("libmspack: cannot extract ") + file->filename + ", error " +
                 std::to_string(chmd->last_error(chmd)));
    }
    mschmd_file missing{};
    if (chmd->fast_find(chmd, chm, "/no such file", &missing, sizeof missing) == MSPACK_ERR_OK && missing.section)
        fail("libmspack: finds a file that is not there");
    std::printf("libmspack: %d files\n", count);
    chmd->close(chmd, chm);
    mspack_destroy_chm_decompressor(chmd);
}

int collect(chmFile *, chmUnitInfo *ui, void *context) {
    static_cast<std::vector<chmUnitInfo> *>(context)->push_back(*ui);
    return CHM_ENUMERATOR_CONTINUE;
}

void checkWithChmlib(const char *chmPath) {
    chmFile *chm = chm_open(chmPath);
    if (!chm)
        return fail("CHMLib: cannot open");
    std::vector<chmUnitInfo> units;
    if (!chm_enumerate(chm, CHM_ENUMERATE_ALL, collect, &units))
        fail("CHMLib: enumeration failed");
    for (const chmUnitInfo &unit : units) {
        chmUnitInfo found{};
        if (chm_resolve_object(chm, unit.path, &found) != CHM_RESOLVE_SUCCESS)
            fail(std::string("CHMLib: cannot resolve ") + unit.path);
        else if (found.start != unit.start || found.length != unit.length || found.space != unit.space)
            fail(std::string("CHMLib: resolve disagrees on ") + unit.path);
    }
    chmUnitInfo missing{};
    if (chm_resolve_object(chm, "/no such file", &missing) == CHM_RESOLVE_SUCCESS)
        fail("CHMLib: resolves a file that is not there");
    std::printf("CHMLib: %zu entries\n", units.size());
    chm_close(chm);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: chm_reader_check FILE DEST\n");
        return 2;
    }
    checkWithMspack(argv[1], argv[2]);
    checkWithChmlib(argv[1]);
    return failures == 0 ? 0 : 1;
}

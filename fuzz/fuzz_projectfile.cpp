// The project file loader: whatever a file holds, loading it never crashes and takes
// bounded memory, and a project that loaded saves into a file that loads to the same
// project.
#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzprojects.h"
#include "project/projectfile.h"
#include "project/projectmodel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    static const QString input = Fuzz::scratchPath("input.mpj");
    static const QString saved = Fuzz::scratchPath("saved.mpj");
    if (!Fuzz::write(input, Fuzz::bytes(data, size)))
        return 0;

    ProjectModel first(ProjectModel::Journals::None);
    if (ProjectFile::read(&first, input) != 0)
        return 0;
    FUZZ_CHECK(ProjectFile::write(&first, saved) == 0);
    ProjectModel second(ProjectModel::Journals::None);
    FUZZ_CHECK(ProjectFile::read(&second, saved) == 0);
    FUZZ_CHECK(FuzzProjects::sameProject(first, second));
    return 0;
}

#pragma once

class ProjectModel;

namespace FuzzProjects {

// Both projects hold the same tree, identifiers and scenarios (the time of saving aside, and
// a bootloader counting as a device of no known type, as reading the file makes it).
bool sameProject(const ProjectModel &a, const ProjectModel &b);

} // namespace FuzzProjects

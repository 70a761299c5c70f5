#pragma once

#include <QStringList>

// norda-cli users: the console's users in the journal's database.
class UsersCommand {
public:
    static int run(const QStringList &args);
};

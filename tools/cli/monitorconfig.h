#pragma once

#include <QHash>
#include <QStringList>

// The configuration file of "norda-cli monitor --config FILE": an INI file whose keys stand
// for options of the monitor, so that a service runs the same command line a person types.
//
//   [monitor]
//   project = /etc/norda-console/site.mpj
//   [journal]
//   database = "postgresql://db1,db2/norda"
//   statuslogdays = 30
//   [network]
//   statusport = 8080
//
// Options given on the command line win over the file. A value with a comma must be quoted
// (unquoted, the INI reader splits it into a list); an empty value leaves the option unset;
// a relative project path is taken from the file's folder.
class MonitorConfig {
public:
    struct Key {
        const char *group;
        const char *key;
        const char *option; // the monitor's option; empty for the positional project file
    };
    static const Key keys[];

    // Reads `file` and adds to `args` (the monitor's command line, as parsed by a parser
    // that knows `options`) every value the command line does not give: `given` names the
    // options set there, `hasProject` whether the project file was given. False with a
    // message naming the file and the key for an unreadable file, an unknown key, a value
    // that is a list, or a key whose option this monitor does not have.
    bool apply(const QString &file, const QStringList &options, const QStringList &given,
               bool hasProject, QStringList *args, QString *error);

    // How to name an option in a message about its value: "--status-port", or
    // "monitor.ini: [network] statusport" when its value came from the file.
    QString origin(const QString &option) const;

private:
    QHash<QString, QString> m_origins;
};

#include "tools/devsim/simfaults.h"

#include <cctype>

namespace {

bool parseCount(const QString &text, int *value, int minimum)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= minimum;
}

// "COUNT[@SKIP]" into the rule; COUNT may be -1 (every one), not 0.
bool parseCounts(const QString &counts, SimFaults::Rule *rule)
{
    if (!parseCount(counts.section(QLatin1Char('@'), 0, 0), &rule->count, -1) || rule->count == 0)
        return false;
    return !counts.contains(QLatin1Char('@')) ||
        parseCount(counts.section(QLatin1Char('@'), 1), &rule->skip, 0);
}

// The first rule of `rules` that takes `request`, counting it in every rule it matches.
SimFaults::Rule *takeRule(QList<SimFaults::Rule> &rules, const QString &request)
{
    SimFaults::Rule *chosen = nullptr;
    for (SimFaults::Rule &rule : rules) {
        if (rule.count == 0 || !request.startsWith(rule.prefix))
            continue;
        if (rule.skip > 0)
            --rule.skip;
        else if (!chosen)
            chosen = &rule;
    }
    if (chosen && chosen->count > 0)
        --chosen->count;
    return chosen;
}

} // namespace

bool SimFaults::apply(const QString &text, QString *error)
{
    const QString name = text.section(QLatin1Char('='), 0, 0).trimmed();
    const QString value = text.section(QLatin1Char('='), 1);
    const bool hasValue = text.contains(QLatin1Char('='));
    auto bad = [&]() {
        if (error)
            *error = QStringLiteral("bad fault '%1'").arg(text);
        return false;
    };

    if (name == QLatin1String("silent") && !hasValue) {
        silent = true;
    } else if (name == QLatin1String("split")) {
        splitBytes = true;
        if (hasValue && !parseCount(value, &splitSize, 1))
            return bad();
    } else if (name == QLatin1String("delay")) {
        if (!parseCount(value, &delayMs, 0))
            return bad();
    } else if (name == QLatin1String("error-every")) {
        if (!parseCount(value, &errorEvery, 1))
            return bad();
        errorCounted = 0;
    } else if (name == QLatin1String("garbage")) {
        if (!parseCount(value, &garbageLines, 1))
            return bad();
    } else if (name == QLatin1String("flood")) {
        flood = true;
        if (hasValue && !parseCount(value, &floodBytes, 1))
            return bad();
    } else if (name == QLatin1String("baud")) {
        if (!parseCount(value, &baud, 300))
            return bad();
    } else if (name == QLatin1String("long-block")) {
        if (!parseCount(value, &longBlock, 1))
            return bad();
    } else if (name == QLatin1String("short-block")) {
        if (!parseCount(value, &shortBlock, 1))
            return bad();
    } else if (name == QLatin1String("bad-page")) {
        bool ok = false;
        badPageAddress = value.toUInt(&ok, 16);
        if (!ok)
            return bad();
        badPage = true;
    } else if (name == QLatin1String("bare-lf") && !hasValue) {
        bareLineFeeds = true;
    } else if (name == QLatin1String("raw") || name == QLatin1String("oversize")) {
        // COUNT[@SKIP]:ARGUMENT:PREFIX; the argument holds no colon.
        const QStringList parts = value.split(QLatin1Char(':'));
        Rule rule;
        rule.action = Rule::Raw;
        rule.prefix = value.section(QLatin1Char(':'), 2);
        const QString counts = parts.value(0);
        const QString argument = parts.value(1);
        if (parts.size() < 3 || rule.prefix.isEmpty() || argument.isEmpty())
            return bad();
        if (!parseCount(counts.section(QLatin1Char('@'), 0, 0), &rule.count, -1) || rule.count == 0)
            return bad();
        if (counts.contains(QLatin1Char('@')) &&
            !parseCount(counts.section(QLatin1Char('@'), 1), &rule.skip, 0))
            return bad();
        if (name == QLatin1String("raw")) {
            if (argument.size() % 2 != 0)
                return bad();
            bool hex = true;
            for (const QChar c : argument)
                hex = hex && isxdigit(c.toLatin1());
            if (!hex)
                return bad();
            rule.raw = QByteArray::fromHex(argument.toLatin1());
        } else {
            int bytes = 0;
            if (!parseCount(argument, &bytes, 1) || bytes > 64 * 1024 * 1024)
                return bad();
            rule.raw = QByteArray(bytes, 'A') + "\r\nOK\r\n";
        }
        rules.append(rule);
    } else if (name == QLatin1String("fail") || name == QLatin1String("mute") ||
               name == QLatin1String("drop") || name == QLatin1String("unplug") ||
               name == QLatin1String("nul")) {
        const int colon = value.indexOf(QLatin1Char(':'));
        if (colon <= 0 || colon == value.size() - 1)
            return bad();
        Rule rule;
        rule.action = name == QLatin1String("fail") ? Rule::Error
            : name == QLatin1String("mute")         ? Rule::Silent
            : name == QLatin1String("drop")         ? Rule::Drop
            : name == QLatin1String("nul")          ? Rule::Nul
                                                    : Rule::Unplug;
        rule.prefix = value.mid(colon + 1);
        if (!parseCounts(value.left(colon), &rule))
            return bad();
        rules.append(rule);
    } else if (name == QLatin1String("late")) {
        // MS[/COUNT[@SKIP]]:PREFIX
        const int colon = value.indexOf(QLatin1Char(':'));
        if (colon <= 0 || colon == value.size() - 1)
            return bad();
        const QString timing = value.left(colon);
        Rule rule;
        rule.count = -1;
        rule.prefix = value.mid(colon + 1);
        if (!parseCount(timing.section(QLatin1Char('/'), 0, 0), &rule.lateMs, 1))
            return bad();
        if (timing.contains(QLatin1Char('/')) &&
            !parseCounts(timing.section(QLatin1Char('/'), 1), &rule))
            return bad();
        lateRules.append(rule);
    } else {
        return bad();
    }
    return true;
}

const SimFaults::Rule *SimFaults::match(const QString &request)
{
    // Every rule counts the matching requests it lets pass, whichever rule takes one.
    const Rule *chosen = takeRule(rules, request);
    if (!chosen)
        return nullptr;
    matched = *chosen;
    return &matched;
}

int SimFaults::lateBy(const QString &request)
{
    const Rule *chosen = takeRule(lateRules, request);
    return chosen ? chosen->lateMs : 0;
}

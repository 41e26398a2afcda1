#pragma once

#include "runrecord.h"

#include <QList>
#include <QString>

// Where runs are kept to be read back: this computer's journal, or a class's server. "Verlauf"
// shows either.
class RunStore
{
public:
    virtual ~RunStore() = default;

    // The runs without their trials (trialCount: the counted ones), newest first; empty with a
    // reason when they cannot be read.
    virtual QList<RunRecord> Runs(QString *reason = nullptr) = 0;
    // The runs with their trials, in the order of ids.
    virtual QList<RunRecord> RunsWithTrials(const QList<qint64> &ids, QString *reason = nullptr) = 0;
    virtual bool DeleteRuns(const QList<qint64> &ids, QString *reason = nullptr) = 0;
    // What the person must be told of the store's files since the last call (a damaged journal set
    // aside); empty otherwise.
    virtual QString TakeNotice() { return {}; }
};

#pragma once

#include <QSize>
#include <QString>

#include <optional>

// The display latency measured with the box's light sensor: from the instant a reaction time
// starts to the light on the screen.
struct ScreenLatency
{
    double ms = 0;
    double sdMs = 0;
    QString date; // ISO 8601, with the offset
    QString size; // the screen's size then, "1920x1080"
};

// A display latency the program takes, from the file or a check: the box waits at most a second for
// the light.
inline bool IsScreenLatency(double ms)
{
    return ms >= 0 && ms <= 1000;
}

// The program's settings, named after their keys in the settings file.
struct Settings
{
    bool randomPosition = true; // screen mode: signal at a random position, else at the centre
    bool useBox = false;        // switch-box mode instead of screen mode
    int boxCom = 0;             // COM port number of the switch box
    double maxDel = 7.0;        // seconds, upper bound of the wait before a signal
    double minDel = 2.0;        // seconds, lower bound of the wait before a signal
    int cnt = 20;               // signals per run; read from the file but never written to it
    int minAkkust = 300;        // ms, shortest lead of the acoustic warning before the signal
    int maxAkkust = 1000;       // ms, longest lead of the acoustic warning before the signal
    bool enableWav = false;     // play the acoustic warning
    QString wavFile = QStringLiteral("ding.wav");
    bool journal = true;                        // keep every run in the journal; set by hand only, never written
    std::optional<ScreenLatency> screenLatency; // written when measured
    bool screenLatencyCorrection = false;       // take it off screen times
    bool lightTimed = false;                    // screen mode: each disc timed by the box's light sensor
    bool lightButton = false;                   // and answered with the box's button, not SPACE
    std::optional<QSize> historySize;           // of the window "Verlauf", once resized
    // The task's name as the journal keeps it ("pvt", "wahl-2"); the run reads what it knows of it.
    QString task = QStringLiteral("einfach");
    // The class server every run is also sent to (PostgreSQL); none where the host is empty. The
    // password is never here: libpq reads it from ~/.pgpass or PGPASSWORD.
    QString serverHost;
    int serverPort = 5432;
    QString serverDatabase = QStringLiteral("flinkprobe");
    QString serverUser;
    QString serverGroup; // the class or group, as the teacher named it
    QString serverSslMode = QStringLiteral("prefer");
};

// A missing file or key gives the default; a number that does not convert gives 0 or 0.0; a switch
// is off only for "false" (in any case), "0" or an empty value, and on for any other text.
// Values are taken as they stand: the run decides how to use out-of-range ones. A file name typed
// into the file by hand comes back exactly, commas, blanks and Latin-1 bytes included.
Settings ReadSettings(const QString &iniPath);

// Writes every setting but cnt and journal (the screen latency with its correction switch, the
// size of "Verlauf", the task and the class server only once there are such) into group "Common", keeping the rest of
// the file as it stands (a hand-set cnt, other keys and groups). The file is replaced whole or not at all: false, with
// the system's reason, when it could not be written, and the old file keeps every byte.
bool WriteSettings(const QString &iniPath, const Settings &settings, QString *reason = nullptr);

#pragma once

#include <QString>
#include <QStringList>

// The serial device behind the box's port number, found as Windows and Wine users know it.
//
// Windows: "COMn", and "\\.\COMn" from 10 on, which plain names cannot reach.
// Elsewhere: a symbolic link "blinkdash-comN" in the data folder, if there is one (a user pins a
// box to a number with it, the simulator and the tests attach a pseudo-terminal); otherwise COM1,
// COM2, ... are the devices of SerialDevices(), in that order, as Wine numbers them.
QString BoxPortName(int n);

// The name of the link that pins port n to a device.
QString BoxPortLinkName(int n);

// /dev/ttyS0, ttyS1, ... then ttyUSB0, ... then ttyACM0, ...: each series from 0 up to its first
// missing number. devFolder stands in for "/dev/" in tests.
QStringList SerialDevices(const QString &devFolder = QStringLiteral("/dev/"));

// The device for port n among these (COM1 is the first); empty when there is none.
QString NthSerialDevice(const QStringList &devices, int n);

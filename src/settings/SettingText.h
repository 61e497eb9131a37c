#pragma once

#include "settings/Setting.h"

#include <vector>

#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace qm240lx {

// How a setting and its values are written, element by element.
namespace settingText {

// "baud", "ignore_cts": in JSON and profiles.
QString key(const Setting& setting);

// "9600", "yes", "ircomm": on the command line and in the text report.
QString name(const Setting& setting, int element);

// 9600, true, "ircomm": in JSON and profiles.
QJsonValue json(const Setting& setting, int element);

// The JSON value without the quotes of a string: 9600, true, ircomm.
QString plainJson(const Setting& setting, int element);

// The text report's value: "9600 bps", "ircomm (IrComm 9-wire)".
QString shown(const Setting& setting, int element);

// The elements whose values can be sent, in element order.
std::vector<int> sendable(const Setting& setting);

// The names of the sendable values: "1", "6".
QStringList names(const Setting& setting);

// "1, 2 or 3"
QString oneOf(const QStringList& items);

} // namespace settingText
} // namespace qm240lx

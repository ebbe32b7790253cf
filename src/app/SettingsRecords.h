#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

/// A numbered key family held in memory with the file's own numbering: entries 1..N are
/// used, entry 0 is never touched.
template<std::size_t N> using Numbered = std::array<QString, N + 1>;

/// The SYSTEM section. Every field is the text exactly as read.
struct SystemSettings
{
    QString URLinit;
    QString COMMinit;
    QString appName;
    QString debugmode;
    QString iconFile;
    QString iconFile_on;
    QString iconFile_off;
    QString adapter;
    QString settings;
    QString CommPort;
    QString Handshaking;
    QString Echo;
    QString ctiSettings1;
    QString ctiSettings2;
    QString ctiSettings3;

    bool operator==(const SystemSettings&) const = default;
};

/// The URL section.
struct UrlSettings
{
    QString browse;
    QString history;
    QString path1;
    QString path2;
    QString path3;
    /// "True": each call is announced on the desktop.
    QString notify;
    /// The program run for each call, with its arguments (%n, %h, %e, %N, %d, %t); empty: none.
    QString command;
    /// "False": a call without a number (a reason code such as 非通知, or nothing) opens no
    /// page. Anything else, an absent key among it, opens one for every call.
    QString openwithheld;
    /// "False": a call from a number the phone book marks as a nuisance opens no page. Anything
    /// else, an absent key among it, opens one.
    QString opennuisance;

    bool operator==(const UrlSettings&) const = default;
};

/// The FOLLOW section: whether this desk follows the calls the office's history announces,
/// and the postgresql:// URI of that history.
struct FollowSettings
{
    QString enabled;
    QString uri;

    bool operator==(const FollowSettings&) const = default;
};

/// The DESK section: the person at this desk, as the other desks see them take calls and
/// leave messages for them; empty for the login user's full name.
struct DeskSettings
{
    QString person;

    bool operator==(const DeskSettings&) const = default;
};

/// The selected adapter model's profile section: the command and reply vocabulary.
struct AdapterProfile
{
    QString watch;
    QString ctrlcode;
    QString settings;
    QString kind;
    QString port1;
    QString port2;
    QString port3;
    QString ok;
    QString err;
    QString ring;
    Numbered<10> icommand;
    std::int16_t icommandCount = 0;
    Numbered<3> cti_both;
    Numbered<3> cti_non;
    Numbered<3> cti_p1;
    Numbered<3> cti_p2;
    Numbered<3> cti_p3;
    QString getinfo;
    QString info;
    QString getCtiCommand;
    QString rsp1_Both;
    QString rsp1_P1;
    QString rsp1_P2;
    QString rsp1_NN;
    QString rsp2_on;
    QString rsp2_off;
    Numbered<5> getCtiInfo;
    Numbered<5> ctiInfo;

    bool operator==(const AdapterProfile&) const = default;
};

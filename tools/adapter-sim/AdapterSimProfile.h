#pragma once

#include <QString>
#include <QStringList>

#include <array>

/// What the simulator needs to know about one adapter model: the vocabulary of its profile
/// section in settings.ini, read key by key. Values are kept exactly as read.
struct AdapterSimProfile
{
    QString model;        ///< section name, which is the model name
    QString settingsPath; ///< the file it was read from, so other models can be looked up

    QString ctrlcode;
    QString kind;
    QString ok;
    QString err;
    QString ring;
    QString getinfo;
    QString getCtiCommand;
    QString rsp1_Both;
    QString rsp1_P1;
    QString rsp1_P2;
    QString rsp1_NN;
    QString rsp2_on;
    QString rsp2_off;
    std::array<QString, 10> icommand;
    std::array<QString, 3> cti_both;
    std::array<QString, 3> cti_p1;
    std::array<QString, 3> cti_p2;
    std::array<QString, 3> cti_p3;
    std::array<QString, 3> cti_non;
    std::array<QString, 5> getCtiInfo;
    std::array<QString, 5> ctiInfo;

    /// Reads the section `model` of the file. A missing file or section gives a profile
    /// whose keys are all empty (see `isEmpty`).
    static AdapterSimProfile load(const QString& settingsPath, const QString& model);
    /// The model names `adapter1` to `adapter5` of the ADAPTER section, empty ones left out.
    static QStringList models(const QString& settingsPath);
    /// The model name `adapterN` of the ADAPTER section (N from 1 to 5), or empty.
    static QString modelAt(const QString& settingsPath, int index);
    /// The model selected in the SYSTEM section (`adapter` = N names `adapterN`), or empty.
    static QString selectedModel(const QString& settingsPath);

    /// True when no key of the section has a value (no such section, in practice).
    bool isEmpty() const;
    /// STX/ETX frames instead of CR-ended lines: `ctrlcode` is exactly TRUE, true or True.
    bool controlCodeFraming() const;
    /// An ISDN adapter, which names its model when asked to identify itself.
    bool isIns() const { return kind == QLatin1String("INS"); }
    /// One query reads out both ports (`getCtiCommand` 1); otherwise one query per port.
    bool singleQueryScheme() const;
};

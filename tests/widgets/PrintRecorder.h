#pragma once

#include "app/Printing.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <climits>
#include <deque>
#include <optional>
#include <vector>

// A printer that keeps every job: each begin and end of a painter is one job, and every
// line of text with the place of its base line, its font and its colour.
class TRecordingPrinter : public QPaintDevice {
public:
    struct TLine {
        QPointF BaseLine;
        QString Text;
        QFont Font;
        QColor Color;
    };
    using TJob = std::vector<TLine>;

    explicit TRecordingPrinter(int dpi) : mDpi(dpi), mEngine(*this) {}

    std::vector<TJob> Jobs;
    int JobsEnded = 0;

    QPaintEngine* paintEngine() const override { return &mEngine; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return mDpi * 827 / 100; // A4
        case PdmHeight:
            return mDpi * 1169 / 100;
        case PdmWidthMM:
            return 210;
        case PdmHeightMM:
            return 297;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return mDpi;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    class TEngine : public QPaintEngine {
    public:
        explicit TEngine(TRecordingPrinter& printer)
            : QPaintEngine(AllFeatures), mPrinter(printer) {}
        bool begin(QPaintDevice*) override {
            mPrinter.Jobs.emplace_back();
            return true;
        }
        bool end() override {
            ++mPrinter.JobsEnded;
            return true;
        }
        void updateState(const QPaintEngineState&) override {}
        void drawTextItem(const QPointF& place, const QTextItem& item) override {
            mPrinter.Jobs.back().push_back(
                {place, item.text(), item.font(), painter()->pen().color()});
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        Type type() const override { return User; }

    private:
        TRecordingPrinter& mPrinter;
    };

    int mDpi;
    mutable TEngine mEngine;
};

// Answers the print, printer set-up and font dialogs as the test says, and sends the print
// jobs to a recording printer.
class TPrintRecorder : public app::TPrintDialogs {
public:
    explicit TPrintRecorder(int dpi = 96) : Device(dpi), mPrevious(app::SetPrintDialogs(this)) {}
    ~TPrintRecorder() override { app::SetPrintDialogs(mPrevious); }

    TRecordingPrinter Device;
    std::deque<std::optional<int>> PrintAnswers; // copies asked for; nullopt: cancelled
    std::deque<std::optional<QFont>> FontAnswers;
    std::vector<QPrinter*> PrintDialogPrinters;
    std::vector<QPrinter*> SetupDialogPrinters;
    std::vector<bool> CollateShown;
    std::vector<int> CopyCountAtJobs;
    std::vector<QFont> FontsProposed;

    bool Print(QWidget*, QPrinter& printer) override {
        PrintDialogPrinters.push_back(&printer);
        CollateShown.push_back(printer.collateCopies());
        if (PrintAnswers.empty() || !PrintAnswers.front()) {
            if (!PrintAnswers.empty())
                PrintAnswers.pop_front();
            return false;
        }
        printer.setCopyCount(*PrintAnswers.front());
        PrintAnswers.pop_front();
        return true;
    }

    void PrinterSetup(QWidget*, QPrinter& printer) override {
        SetupDialogPrinters.push_back(&printer);
    }

    std::optional<QFont> Font(QWidget*, const QFont& current) override {
        FontsProposed.push_back(current);
        if (FontAnswers.empty())
            return std::nullopt;
        const auto answer = FontAnswers.front();
        FontAnswers.pop_front();
        return answer;
    }

    QPaintDevice& JobDevice(QPrinter& printer) override {
        CopyCountAtJobs.push_back(printer.copyCount());
        return Device;
    }

private:
    app::TPrintDialogs* mPrevious;
};

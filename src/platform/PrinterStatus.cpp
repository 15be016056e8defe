// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrinterStatus.h"

#include <QStringList>

#include <cups/cups.h>

#include <cstring>

namespace dayvell {

namespace {

QString Option(const cups_dest_t& dest, const char* name) {
    return QString::fromUtf8(cupsGetOption(name, dest.num_options, dest.options));
}

// The default printer, else the first one; null when there is none.
cups_dest_t* Chosen(cups_dest_t* dests, int count) {
    for (int i = 0; i < count; ++i) {
        if (dests[i].is_default && !dests[i].instance)
            return &dests[i];
    }
    for (int i = 0; i < count; ++i) {
        if (!dests[i].instance)
            return &dests[i];
    }
    return count > 0 ? &dests[0] : nullptr;
}

// What the scheduler says of the printer's state in its own words ("Rejecting jobs for maintenance"), which the
// list of printers leaves out; empty when it says nothing.
QString StateMessage(const cups_dest_t& dest) {
    const char* uri = cupsGetOption("printer-uri-supported", dest.num_options, dest.options);
    if (!uri)
        return {};
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-state-message");
    // The request is consumed by the call, whatever comes of it.
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (!response)
        return {};
    QString message;
    if (ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        message = QString::fromUtf8(ippGetString(attribute, 0, nullptr)).trimmed();
    ippDelete(response);
    return message;
}

// The printer's default paper and the edges of it it cannot print on.
void ReadDefaultPaper(cups_dest_t& dest, PrinterStatus& status) {
    cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, &dest);
    if (!info)
        return;
    cups_size_t size{};
    // CUPS measures the paper in hundredths of a millimetre.
    if (cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, &dest, info, 0, &size)) {
        status.unprintableMm = QMarginsF(size.left, size.top, size.right, size.bottom) / 100.0;
        if (size.width > 0 && size.length > 0)
            status.paperMm = QSizeF(size.width, size.length) / 100.0;
    }
    cupsFreeDestInfo(info);
}

} // namespace

PrinterStatus DefaultPrinterStatus() {
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    PrinterStatus status;
    cups_dest_t* chosen = Chosen(dests, count);
    if (!chosen) {
        // With no scheduler to ask the list is empty as well; the failure to connect tells the two apart.
        const ipp_status_t error = cupsLastError();
        status.kind = error == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || error == IPP_STATUS_ERROR_INTERNAL
                          ? PrinterStatus::Kind::NoScheduler
                          : PrinterStatus::Kind::NoPrinter;
        cupsFreeDests(count, dests);
        return status;
    }
    status.name = QString::fromUtf8(chosen->name);
    const QString state = Option(*chosen, "printer-state");
    const QString reasons = Option(*chosen, "printer-state-reasons");
    if (Option(*chosen, "printer-is-accepting-jobs") == QLatin1String("false"))
        status.kind = PrinterStatus::Kind::NotAccepting;
    else if (state == QLatin1String("5"))
        status.kind = reasons.split(QLatin1Char(',')).contains(QLatin1String("paused")) ? PrinterStatus::Kind::Paused
                                                                                        : PrinterStatus::Kind::Stopped;
    else
        status.kind = PrinterStatus::Kind::Ready;
    if (status.kind != PrinterStatus::Kind::Ready)
        status.message = StateMessage(*chosen);
    ReadDefaultPaper(*chosen, status);
    cupsFreeDests(count, dests);
    return status;
}

} // namespace dayvell

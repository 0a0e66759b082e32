#include "CImportMVal.h"

#include "CCommunication.h"
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "Protocol.h"
#include "RecordWalk.h"
#include "TextTable.h"

#include <QVarLengthArray>

#include <exception>

bool CImportMVal::GetMVals(QString &strMVals)
{
    try {
        return ReadDatasets(strMVals);
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool CImportMVal::ReadDatasets(QString &strMVals)
{
    m_linkResult = {};
    if (!m_link)
        return false;
    // Many datasets at a low baud rate take minutes. A rejected answer holds no datasets, and two
    // answers run together would be taken for one document: either is an import failure.
    const bool ok = m_communication.ReadListing(*m_link, Protocol::ReadDatasets, 600, strMVals);
    m_linkResult = m_communication.lastResult();
    return ok;
}

bool CImportMVal::ExtractNextRecSet(QStringList &strMValRecSet, QString &strMVals, qint16 intNum)
{
    if (intNum < 0 || strMValRecSet.size() < intNum)
        return false;
    QVarLengthArray<QStringView, RecordWalk::kMaxFields> fields(intNum);
    QStringView rest(strMVals);
    if (!RecordWalk::extract(rest, fields.data(), intNum))
        return false;
    for (int d = 0; d < intNum; ++d)
        strMValRecSet[d] = fields[d].toString();
    strMVals.remove(0, strMVals.size() - rest.size());
    return true;
}

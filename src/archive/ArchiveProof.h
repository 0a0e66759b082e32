#pragma once
// The proof behind the chain: every row that carries evidence is accounted for by the entry that
// recorded it (imports with their datasets, corrections, control limits, deliveries, sample IDs), and
// every stored flag is what it is derived from. The chain itself is Trail::verify's.
#include "ArchiveDatabase.h"
#include "Trail.h"

#include <QByteArray>
#include <QList>

class CDevice;

namespace ArchiveProof {

using Result = ArchiveDatabase::Result;

// Checks the rows of db against its entries; the break with the lowest entry number found goes into
// the verdict, which also counts the imports checked. Each result set is read whole before the next
// statement runs: a server's connection holds one open result at a time.
Result verify(ArchiveDatabase &db, const CDevice &device, TrailVerdict *verdict);

// What an import's entry records of the datasets stored for it (within the import's transaction):
// their number, and the SHA-256 (hex) over their content hashes, 32 bytes each, in ascending id order.
Result storedDatasets(ArchiveDatabase &db, qint64 importId, qint64 *count, QString *sha256);

} // namespace ArchiveProof

-- Meravo's archive on a PostgreSQL server: the tables every PC of the lab writes into, and the group
-- role the program's logins belong to.
--
-- Run once, as the database's owner or a superuser, in an empty database:
--   createdb meravo
--   psql -d meravo -v ON_ERROR_STOP=1 -f /usr/share/meravo/archive-postgresql.sql
--
-- Archived imports, datasets, trail entries, annotations, control-sample definitions and limits,
-- deliveries and sample IDs are evidence: members of meravo_user may read and add them, never change or
-- remove them. The privileges below enforce it on the server, whatever program connects.

BEGIN;

-- The version tells an older program not to write into a newer archive.
CREATE TABLE meta (
    key   TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
INSERT INTO meta (key, value) VALUES ('schema_version', '6');

CREATE TABLE imports (
    id              BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    uid             TEXT NOT NULL UNIQUE,
    imported_utc    TEXT NOT NULL,
    utc_offset      INTEGER NOT NULL,
    source          TEXT NOT NULL,
    meter           TEXT NOT NULL,
    serial          TEXT NOT NULL,
    firmware        TEXT NOT NULL,
    variant         TEXT NOT NULL,
    port            TEXT NOT NULL,
    baud            INTEGER NOT NULL,
    file_name       TEXT NOT NULL,
    document_date   TEXT NOT NULL,
    login           TEXT NOT NULL,
    os_uid          BIGINT NOT NULL,
    os_user         TEXT NOT NULL,
    os_full_name    TEXT NOT NULL,
    host            TEXT NOT NULL,
    program_version TEXT NOT NULL,
    raw_sha256      TEXT NOT NULL,
    raw_size        BIGINT NOT NULL,
    raw             BYTEA NOT NULL,
    new_count       BIGINT NOT NULL,
    repeat_count    BIGINT NOT NULL,
    conflict_count  BIGINT NOT NULL
);

CREATE TABLE datasets (
    id             BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    import_id      BIGINT NOT NULL REFERENCES imports (id),
    meter          TEXT NOT NULL,
    serial         TEXT NOT NULL,
    layout         INTEGER NOT NULL,
    no             TEXT NOT NULL,
    date           TEXT NOT NULL,
    time           TEXT NOT NULL,
    day            TEXT,
    sample_id      TEXT NOT NULL,
    program        TEXT NOT NULL,
    cit            TEXT NOT NULL,
    code           TEXT NOT NULL,
    dilution       TEXT NOT NULL,
    value1         TEXT NOT NULL,
    unit1          TEXT NOT NULL,
    status1        TEXT NOT NULL,
    value2         TEXT NOT NULL,
    unit2          TEXT NOT NULL,
    status2        TEXT NOT NULL,
    cal_date       TEXT NOT NULL,
    cal_time       TEXT NOT NULL,
    line           TEXT NOT NULL,
    content_sha256 BYTEA NOT NULL,
    conflict       INTEGER NOT NULL,
    -- Two PCs importing the same meter (its model and serial number) at once keep one copy of each
    -- dataset.
    CONSTRAINT datasets_meter_key UNIQUE (meter, serial, no, date, time, content_sha256)
);
CREATE INDEX datasets_serial_day_program ON datasets (serial, day, program);
CREATE INDEX datasets_day ON datasets (day);
CREATE INDEX datasets_import ON datasets (import_id);

-- The same tables as every PC's own archive has; on the server they stay empty.
CREATE TABLE outbox (
    import_uid TEXT NOT NULL,
    target     TEXT NOT NULL,
    queued_utc TEXT NOT NULL,
    PRIMARY KEY (import_uid, target)
);
CREATE TABLE sent (
    import_uid TEXT NOT NULL,
    target     TEXT NOT NULL,
    sent_utc   TEXT NOT NULL,
    PRIMARY KEY (import_uid, target)
);

-- The activity trail: one chain of entries for every PC of the lab, each sealed with the SHA-256 of
-- its content and of the entry before it.
CREATE TABLE trail (
    seq             BIGINT PRIMARY KEY,
    at_utc          TEXT NOT NULL,
    utc_offset      INTEGER NOT NULL,
    clock_back      INTEGER NOT NULL,
    os_uid          BIGINT NOT NULL,
    os_user         TEXT NOT NULL,
    os_full_name    TEXT NOT NULL,
    login           TEXT NOT NULL,
    host            TEXT NOT NULL,
    program_version TEXT NOT NULL,
    action          TEXT NOT NULL,
    object          TEXT NOT NULL,
    details         TEXT NOT NULL,
    reason          TEXT NOT NULL,
    file_sha256     TEXT NOT NULL,
    prev_hash       TEXT NOT NULL,
    hash            TEXT NOT NULL
);
CREATE INDEX trail_file ON trail (file_sha256);
CREATE INDEX trail_object ON trail (object);

-- Corrections that keep the original: notes beside a dataset, and withdrawals, each with its entry.
CREATE TABLE annotations (
    id         BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    dataset_id BIGINT NOT NULL REFERENCES datasets (id),
    kind       TEXT NOT NULL,
    text       TEXT NOT NULL,
    trail_seq  BIGINT NOT NULL
);
CREATE INDEX annotations_dataset ON annotations (dataset_id);

-- Control samples: every version of a definition and every revision of its limits, each with its
-- trail entry; the newest row of a name is the one in force.
CREATE TABLE qc_definitions (
    id        BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name      TEXT NOT NULL,
    content   TEXT NOT NULL,
    trail_seq BIGINT NOT NULL
);
CREATE INDEX qc_definitions_name ON qc_definitions (name);
CREATE TABLE qc_revisions (
    id        BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name      TEXT NOT NULL,
    content   TEXT NOT NULL,
    trail_seq BIGINT NOT NULL
);
CREATE INDEX qc_revisions_name ON qc_revisions (name);
-- Deliveries to the lab's other systems, one row per dataset and destination (profile), and the lab's
-- own sample IDs given to datasets by a worklist.
CREATE TABLE delivery_deliveries (
    id            BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    dataset_id    BIGINT NOT NULL REFERENCES datasets (id),
    profile       TEXT NOT NULL,
    path          TEXT NOT NULL,
    file_sha256   TEXT NOT NULL,
    delivered_utc TEXT NOT NULL,
    again         INTEGER NOT NULL,
    trail_seq     BIGINT NOT NULL
);
CREATE INDEX delivery_deliveries_dataset ON delivery_deliveries (dataset_id, profile);
CREATE TABLE delivery_sample_ids (
    id         BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    dataset_id BIGINT NOT NULL REFERENCES datasets (id),
    sample_id  TEXT NOT NULL,
    worklist   TEXT NOT NULL,
    trail_seq  BIGINT NOT NULL
);
CREATE INDEX delivery_sample_ids_dataset ON delivery_sample_ids (dataset_id);
-- A delivery's intent, committed before its file appears, and the steps it reached (written, done,
-- abandoned): the next deliverer finishes what a crash left.
CREATE TABLE delivery_intents (
    id          BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    profile     TEXT NOT NULL,
    path        TEXT NOT NULL,
    temporary   TEXT NOT NULL,
    serial      TEXT NOT NULL,
    dataset_ids TEXT NOT NULL,
    file_sha256 TEXT NOT NULL,
    created_utc TEXT NOT NULL,
    again       INTEGER NOT NULL
);
CREATE INDEX delivery_intents_profile ON delivery_intents (profile);
CREATE TABLE delivery_intent_steps (
    id        BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    intent_id BIGINT NOT NULL REFERENCES delivery_intents (id),
    step      TEXT NOT NULL,
    at_utc    TEXT NOT NULL
);
CREATE INDEX delivery_intent_steps_intent ON delivery_intent_steps (intent_id);

-- The group role of the program: read and add, nothing else. Logins are granted it (below).
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'meravo_user') THEN
        CREATE ROLE meravo_user NOLOGIN;
    END IF;
END
$$;

REVOKE ALL ON meta, imports, datasets, outbox, sent, trail, annotations, qc_definitions, qc_revisions
    FROM PUBLIC;
REVOKE ALL ON delivery_deliveries, delivery_sample_ids, delivery_intents, delivery_intent_steps FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO meravo_user;
GRANT SELECT ON meta TO meravo_user;
GRANT SELECT, INSERT ON imports, datasets, outbox, sent, trail, annotations, qc_definitions, qc_revisions
    TO meravo_user;
GRANT USAGE, SELECT ON SEQUENCE imports_id_seq, datasets_id_seq, annotations_id_seq, qc_definitions_id_seq,
    qc_revisions_id_seq TO meravo_user;
GRANT SELECT, INSERT ON delivery_deliveries, delivery_sample_ids, delivery_intents, delivery_intent_steps
    TO meravo_user;
GRANT USAGE, SELECT ON SEQUENCE delivery_deliveries_id_seq, delivery_sample_ids_id_seq, delivery_intents_id_seq,
    delivery_intent_steps_id_seq TO meravo_user;

COMMIT;

-- One login per PC or per person, each a member of meravo_user; the password goes into that user's
-- ~/.pgpass (or use Kerberos / client certificates in pg_hba.conf), never into Meravo's settings:
--
--   CREATE ROLE lab_pc1 LOGIN PASSWORD 'choose-one' IN ROLE meravo_user;
--   CREATE ROLE anna LOGIN IN ROLE meravo_user;          -- with Kerberos or a client certificate
--   GRANT CONNECT ON DATABASE meravo TO meravo_user;
--   REVOKE CONNECT ON DATABASE meravo FROM PUBLIC;

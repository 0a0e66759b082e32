-- Brings Meravo's archive on a PostgreSQL server forward to this version's schema, keeping every row
-- and id. Run it when the program says the server's schema is older, as the database's owner or a
-- superuser, after a backup (pg_dump):
--   psql -d meravo -v ON_ERROR_STOP=1 -f /usr/share/meravo/archive-postgresql-upgrade.sql
-- Each step checks the version it starts from and does nothing on an archive that is past it, so the
-- script may be run again. A new archive is made with archive-postgresql.sql instead.

BEGIN;
LOCK TABLE meta, datasets, delivery_deliveries IN ACCESS EXCLUSIVE MODE;

-- Schema 4 to 5: a meter is its model and serial number. Two meters of different models with the same
-- serial keep their datasets apart (their datasets were "conflicting" before).
DO $$
BEGIN
    IF (SELECT value::int FROM meta WHERE key = 'schema_version') = 4 THEN
        ALTER TABLE datasets DROP CONSTRAINT IF EXISTS datasets_serial_no_date_time_content_sha256_key;
        ALTER TABLE datasets ADD CONSTRAINT datasets_meter_key
            UNIQUE (meter, serial, no, date, time, content_sha256);
        UPDATE meta SET value = '5' WHERE key = 'schema_version';
    END IF;
END
$$;

-- Schema 5 to 6: a delivery's intent, committed before its file appears, and the steps it reached, so
-- the next deliverer finishes what a crash left and no dataset reaches a profile twice.
DO $$
BEGIN
    IF (SELECT value::int FROM meta WHERE key = 'schema_version') = 5 THEN
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
        REVOKE ALL ON delivery_intents, delivery_intent_steps FROM PUBLIC;
        GRANT SELECT, INSERT ON delivery_intents, delivery_intent_steps TO meravo_user;
        GRANT USAGE, SELECT ON SEQUENCE delivery_intents_id_seq, delivery_intent_steps_id_seq TO meravo_user;
        UPDATE meta SET value = '6' WHERE key = 'schema_version';
    END IF;
END
$$;

-- Refuses to end on any version but this program's, so nothing half-done is committed.
DO $$
BEGIN
    IF (SELECT value::int FROM meta WHERE key = 'schema_version') <> 6 THEN
        RAISE EXCEPTION 'the archive has schema %, which this script does not bring forward',
            (SELECT value FROM meta WHERE key = 'schema_version');
    END IF;
END
$$;

COMMIT;

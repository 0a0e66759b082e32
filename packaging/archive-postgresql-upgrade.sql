-- Brings Meravo's archive on a PostgreSQL server forward to this version's schema, keeping every row
-- and id. Run it when the program says the server's schema is older, as the database's owner or a
-- superuser, after a backup (pg_dump):
--   psql -d meravo -v ON_ERROR_STOP=1 -f /usr/share/meravo/archive-postgresql-upgrade.sql
-- Each step checks the version it starts from and does nothing on an archive that is past it, so the
-- script may be run again. A new archive is made with archive-postgresql.sql instead.

BEGIN;
LOCK TABLE meta, datasets IN ACCESS EXCLUSIVE MODE;

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

-- Refuses to end on any version but this program's, so nothing half-done is committed.
DO $$
BEGIN
    IF (SELECT value::int FROM meta WHERE key = 'schema_version') <> 5 THEN
        RAISE EXCEPTION 'the archive has schema %, which this script does not bring forward',
            (SELECT value FROM meta WHERE key = 'schema_version');
    END IF;
END
$$;

COMMIT;

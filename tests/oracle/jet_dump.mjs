#!/usr/bin/env node
// Prints what the mdb-reader package reads in a Jet file, as canonical JSON (keys sorted, one
// document): every table (user tables, and system tables with --system), its columns as the
// package describes them and every row in the order read. Values: booleans and numbers as JSON,
// dates as UTC ISO text with milliseconds, binary data as lower-case hexadecimal, Currency,
// Decimal and big integers as the package's text. The package shows neither indexes nor
// properties. Used by the tests as a reader independent of libmdb and of ours.
//
//   node jet_dump.mjs FILE [--system] [--table NAME]...
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

function canonical(value) {
    if (value === null || typeof value !== "object") return JSON.stringify(value);
    if (Array.isArray(value)) return "[" + value.map(canonical).join(",") + "]";
    const keys = Object.keys(value).filter((k) => value[k] !== undefined).sort();
    return "{" + keys.map((k) => JSON.stringify(k) + ":" + canonical(value[k])).join(",") + "}";
}

function plain(value) {
    if (value === null || value === undefined) return null;
    if (value instanceof Date) {
        return Number.isNaN(value.getTime()) ? "invalid" : value.toISOString();
    }
    if (Buffer.isBuffer(value)) return value.toString("hex");
    if (typeof value === "bigint") return value.toString();
    if (Array.isArray(value)) return value.map(plain);
    return value;
}

const args = process.argv.slice(2);
const file = args.find((a) => !a.startsWith("--") && args[args.indexOf(a) - 1] !== "--table");
if (!file) {
    process.stderr.write("uso: node jet_dump.mjs ARCHIVO [--system] [--table NOMBRE]...\n");
    process.exit(2);
}
const system = args.includes("--system");
const only = args.flatMap((a, i) => (a === "--table" ? [args[i + 1]] : []));

const reader = new MDBReader(readFileSync(file));
const names = reader.getTableNames({
    normalTables: true,
    systemTables: system,
    linkedTables: false,
});
const userNames = new Set(reader.getTableNames({ normalTables: true, systemTables: false }));
const tables = [];
for (const name of names) {
    if (only.length && !only.includes(name)) continue;
    let table;
    try {
        table = reader.getTable(name);
        table.getColumns();
    } catch (e) {
        // The package refuses some tables (a column type it does not know): said, not fatal.
        tables.push({ name, system: !userNames.has(name), error: String(e.message || e) });
        continue;
    }
    const columns = table.getColumns().map((c) => ({
        name: c.name,
        type: c.type,
        size: c.size,
        fixedLength: c.fixedLength,
        nullable: c.nullable,
        autoLong: c.autoLong,
        autoUUID: c.autoUUID,
        precision: c.precision,
        scale: c.scale,
    }));
    const names = columns.map((c) => c.name);
    const rows = table.getData().map((row) => names.map((n) => plain(row[n])));
    tables.push({ name, system: !userNames.has(name), rowCount: table.rowCount, columns, rows });
}
process.stdout.write(canonical({ reader: "mdb-reader", tables }) + "\n");

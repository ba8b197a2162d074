"""The Python module against a real host database: SQLite in a temporary file, or
the PostgreSQL server that $QUILLOR_TEST_PG_CONNECTION names (in a schema of its
own). $QUILLOR_LIB_DIR names the build's lib/ and $QUILLOR_COMMAND its command."""

import os
import subprocess
import tempfile
import threading
import unittest

import quillor

ADD_LINE = ("<material id=\"%d\"><departmentno>D01</departmentno><productno>P100</productno>"
            "<inventoryno>M01</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity>"
            "<period>%d</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>")


def add_request(lines):
    """Lines of periods 2 to 12 of their own (a line of the same key replaces its row)."""
    body = "".join(ADD_LINE % (i + 1, i + 2) for i in range(lines))
    return "<ufinterface roottag=\"material\" docid=\"py\" proc=\"ADD\">%s</ufinterface>" % body


QUERY = "<ufinterface roottag=\"material\" docid=\"py\" proc=\"QUERY\" paginate=\"%d\"/>"


class HostDatabase:
    """A fresh host database with the sample rows, made by the command's init-db."""

    def __init__(self, name):
        self.dir = tempfile.TemporaryDirectory()
        pg = os.environ.get("QUILLOR_TEST_PG_CONNECTION")
        if pg:
            schema = "quillor_py_%d_%s" % (os.getpid(), name.lower())
            self.connection = ("%s;ConnSettings={create schema if not exists %s;"
                               "set search_path to %s}" % (pg, schema, schema))
        else:
            self.connection = "Provider=SQLite;Data Source=%s/erp.db" % self.dir.name
        subprocess.run([os.environ["QUILLOR_COMMAND"], "init-db", "--connection",
                        self.connection, "--sample"], check=True, stdout=subprocess.DEVNULL)


class ModuleTest(unittest.TestCase):
    def setUp(self):
        self.db = HostDatabase(self.id().rsplit(".", 1)[-1])

    def test_every_release_adds_and_says_which_it_is(self):
        for release in ("8.71", "8.61", "8.50"):
            with quillor.Material(release) as material:
                self.assertEqual(material.release, release)
                reply = material.transact(add_request(2), self.db.connection)
                self.assertEqual(reply.status, 0, reply)
                self.assertIn("<item id=\"1\" code=\"0\"", reply.text)
                self.assertIn("<item id=\"2\" code=\"0\"", reply.text)

    def test_pages_arrive_in_order_and_the_callback_may_renumber_them(self):
        with quillor.Material("8.71") as material:
            material.transact(add_request(7), self.db.connection)
            seen = []
            material.on_page(lambda text, number, count: seen.append((number, count, text)))
            reply = material.transact(QUERY % 3, self.db.connection)
            self.assertEqual(reply.status, 0)
            count = seen[0][1]
            self.assertEqual([s[0] for s in seen], list(range(1, count + 1)))
            self.assertTrue(all("<material" in s[2] for s in seen))

            seen.clear()

            def renumber(text, number, count):
                seen.append(number)
                return (number + 100, count) if number == 1 else None
            material.on_page(renumber)
            material.transact(QUERY % 3, self.db.connection)
            self.assertEqual(seen[:2], [1, 102])

    def test_a_callback_that_raises_fails_the_call_and_the_process_goes_on(self):
        with quillor.Material("8.71") as material:
            material.transact(add_request(4), self.db.connection)

            def broken(*_):
                raise RuntimeError("the host's own fault")
            material.on_page(broken)
            reply = material.transact(QUERY % 2, self.db.connection)
            self.assertNotIn("<material", reply.text)
            material.on_page(None)
            self.assertIn("<material", material.transact(QUERY % 0, self.db.connection).text)

    def test_the_release_without_pages_refuses_a_callback(self):
        with quillor.Material("8.50") as material:
            with self.assertRaises(OSError):
                material.on_page(lambda *_: None)

    def test_a_stop_from_another_thread_and_a_request_bound(self):
        with quillor.Material("8.71") as material:
            call = quillor.Call(material)
            stopper = threading.Thread(target=call.stop)
            stopper.start()
            stopper.join()
            reply = material.transact(add_request(3), self.db.connection, call)
            self.assertNotIn("<item", reply.text)

            bounded = quillor.Call(material, request_bound=32)
            reply = material.transact(add_request(3), self.db.connection, bounded)
            self.assertNotIn("<item", reply.text)
            self.assertIn("code=", reply.text)

    def test_each_lines_outcome_comes_as_values(self):
        refused = ADD_LINE.replace("<period>%d</period>", "<period>2.5</period>")
        other = ADD_LINE.replace("D01", "D09")
        request = ("<ufinterface roottag=\"material\" docid=\"py\" proc=\"ADD\">%s%s%s"
                   "</ufinterface>" % (ADD_LINE % (1, 5), refused % 2, other % (3, 6)))
        with quillor.Material("8.71") as material:
            reply = material.transact(request, self.db.connection)
            self.assertEqual([(i.id, i.code) for i in reply.items],
                             [("1", 0), ("2", 100), ("3", 101)])
            self.assertEqual(reply.items[1].reason, "period 2.5 is not a whole number")
            self.assertEqual(reply.items[0].reason, "")
            for item in reply.items:
                self.assertIn(item.message, reply.text)

            unknown = material.transact(request, "DSN=quillor_no_such_source")
            self.assertEqual(len(unknown.items), 1)
            self.assertIsNone(unknown.items[0].id)
            self.assertEqual(unknown.items[0].state, "IM002")
            self.assertIn(unknown.items[0].message, unknown.text)

    def test_a_trace_function_gets_each_statement(self):
        with quillor.Material("8.71") as material:
            lines = []
            call = quillor.Call(material, trace=lines.append)
            material.transact(add_request(2), self.db.connection, call)
            self.assertEqual(sum("insert ca_mabsw" in line for line in lines), 2)
            self.assertTrue(all(line.startswith("{\"sql\": ") for line in lines))

    def test_the_calls_facts_come_as_values(self):
        refused = ADD_LINE.replace("D01", "D09")
        request = ("<ufinterface roottag=\"material\" docid=\"f-1\" proc=\"add\">%s%s%s"
                   "</ufinterface>" % (ADD_LINE % (1, 5), refused % (2, 6), ADD_LINE % (3, 7)))
        with quillor.Material("8.71") as material:
            facts = material.transact(request, self.db.connection).facts
            self.assertEqual((facts.operation, facts.proc, facts.docid), ("ADD", "add", "f-1"))
            self.assertIsNone(facts.code)
            self.assertEqual(facts.items, {0: 2, 101: 1})

            broken = material.transact("not xml", self.db.connection).facts
            self.assertEqual((broken.operation, broken.code, broken.items), (None, 100, {}))
            unknown = material.transact(request, "DSN=quillor_no_such_source").facts
            self.assertEqual(unknown.operation, "ADD")
            self.assertLess(unknown.code, 0)
            self.assertEqual(unknown.state, "IM002")

            # A paged QUERY: each page's rows asked from inside the callback.
            material.transact(add_request(7), self.db.connection)
            rows = []
            material.on_page(lambda *_: rows.append(material.facts().page_rows))
            query = material.transact(QUERY % 3, self.db.connection).facts
            total = query.rows + 3 * (query.pages - 1)
            self.assertEqual(rows, [3] * (query.pages - 1) + [query.rows])
            self.assertTrue(query.paged)
            self.assertEqual(query.operation, "QUERY")
            self.assertGreaterEqual(total, 7)

    def test_the_read_function_is_told_before_the_connection_opens(self):
        with quillor.Material("8.71") as material:
            told = []
            call = quillor.Call(material, read=told.append)
            reply = material.transact(add_request(1), "Provider=SQLite;Data Source=/nonexistent/x.db",
                                      call)
            self.assertEqual([(f.operation, f.docid, f.code) for f in told], [("ADD", "py", None)])
            self.assertIsNotNone(reply.facts.code)


if __name__ == "__main__":
    unittest.main(verbosity=2)

"""Quillor's release libraries in process, from Python, through their C interface.

Standard library only (ctypes). The module is the example for every host of
another language: Java (FFM or JNA) and Go (cgo) call the same functions of
include/quillor/quillor.h the same way.

    import quillor
    material = quillor.Material("8.71")          # or Material(path="/.../libquillor.so")
    reply = material.transact(open("add.xml").read(), "Provider=SQLite;Data Source=/tmp/erp.db")
    print(reply.status, reply.text)

    for item in reply.items:                     # each line's outcome, as values
        print(item.id, item.code, item.reason)

    def page(text, number, count):               # a paged QUERY's pages, in order
        print(number, "of", count, material.facts().page_rows, "rows")
    material.on_page(page)

    print(reply.facts.operation, reply.facts.code, reply.facts.rows, reply.facts.items)

A Material is used on the thread that made it. A Call carries per-call options:
a request bound, a receiver of the SQL trace, a function told the call's facts once
the request's root is read, and a stop that another thread may ask for while an ADD
runs.
"""

import collections
import ctypes
import os

__all__ = ["Call", "Facts", "Item", "Material", "Reply", "library_path"]

API_VERSION = 3

_PAGE_FN = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                            ctypes.POINTER(ctypes.c_int32), ctypes.POINTER(ctypes.c_int32))


class _Item(ctypes.Structure):
    _fields_ = [("id", ctypes.c_char_p), ("code", ctypes.c_int32), ("message", ctypes.c_char_p),
                ("reason", ctypes.c_char_p), ("state", ctypes.c_char_p)]


_ITEM_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(_Item))


class _CodeCount(ctypes.Structure):
    _fields_ = [("code", ctypes.c_int32), ("count", ctypes.c_uint64)]


class _Facts(ctypes.Structure):
    _fields_ = [("size", ctypes.c_size_t), ("operation", ctypes.c_int32),
                ("paged", ctypes.c_int32), ("proc", ctypes.c_char_p), ("docid", ctypes.c_char_p),
                ("has_code", ctypes.c_int32), ("code", ctypes.c_int32),
                ("state", ctypes.c_char_p), ("rows", ctypes.c_int64), ("pages", ctypes.c_int64),
                ("page_rows", ctypes.c_int64), ("item_codes", ctypes.c_size_t),
                ("items", ctypes.POINTER(_CodeCount))]


_FACTS_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(_Facts))
_OPERATIONS = {1: "ADD", 2: "QUERY", 3: "OTHER"}
_TRACE_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t)

Item = collections.namedtuple("Item", "id code message reason state")
Item.__doc__ = """One line's outcome of an ADD: the line's id, its code and message as the
reply has them, and why a write was refused before any statement ("" when it was not).
A call that answered no line has one Item with id None: the reply's code and message,
and state, the database driver's SQLSTATE when the driver refused ("IM002")."""


Facts = collections.namedtuple(
    "Facts", "operation proc docid paged code state rows pages page_rows items")
Facts.__doc__ = """What the component read of a call's request and wrote into its reply, so that
no host reads either again: operation "ADD", "QUERY", "OTHER", or None when the request's
root did not read; proc and docid as written; paged, whether the rows went out in pages;
code, the reply's own code when the call answered no line (None for a normal reply), and
state, the driver's SQLSTATE with it; rows, the reply's rows; pages, the pages handed out;
page_rows, the rows of the page being handed over (or of the last one); items, an ADD's
item results as {code: count}."""


def _facts(f):
    return Facts(_OPERATIONS.get(f.operation), _text(f.proc) or "", _text(f.docid) or "",
                 bool(f.paged), f.code if f.has_code else None, _text(f.state) or "", f.rows,
                 f.pages, f.page_rows, {f.items[i].code: f.items[i].count
                                        for i in range(f.item_codes)})


def library_path(release):
    """Where a release's library is: $QUILLOR_LIB_DIR/RELEASE/libquillor.so when that is
    set (a build tree's lib/), else beside this module as the package installs it
    (/usr/lib/quillor/RELEASE/libquillor.so for /usr/lib/python3/dist-packages/)."""
    base = os.environ.get("QUILLOR_LIB_DIR")
    if not base:
        here = os.path.dirname(os.path.abspath(__file__))
        base = os.path.join(here, os.pardir, os.pardir, "quillor")
    return os.path.normpath(os.path.join(base, release, "libquillor.so"))


def _load(path):
    lib = ctypes.CDLL(path)
    lib.quillor_api_version.restype = ctypes.c_int32
    lib.quillor_release.restype = ctypes.c_char_p
    lib.quillor_create.restype = ctypes.c_void_p
    lib.quillor_destroy.argtypes = [ctypes.c_void_p]
    lib.quillor_set_page_receiver.argtypes = [ctypes.c_void_p, _PAGE_FN, ctypes.c_void_p]
    lib.quillor_set_page_receiver.restype = ctypes.c_int32
    lib.quillor_call_create.restype = ctypes.c_void_p
    lib.quillor_call_destroy.argtypes = [ctypes.c_void_p]
    lib.quillor_call_set_request_bound.argtypes = [ctypes.c_void_p, ctypes.c_uint64]
    lib.quillor_request_stop.argtypes = [ctypes.c_void_p]
    lib.quillor_call_set_item_receiver.argtypes = [ctypes.c_void_p, _ITEM_FN, ctypes.c_void_p]
    lib.quillor_call_set_trace_receiver.argtypes = [ctypes.c_void_p, _TRACE_FN, ctypes.c_void_p]
    lib.quillor_call_set_read_receiver.argtypes = [ctypes.c_void_p, _FACTS_FN, ctypes.c_void_p]
    lib.quillor_facts.argtypes = [ctypes.c_void_p, ctypes.POINTER(_Facts)]
    lib.quillor_facts.restype = ctypes.c_int32
    lib.quillor_transact.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p,
                                     ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t,
                                     ctypes.POINTER(ctypes.c_void_p),
                                     ctypes.POINTER(ctypes.c_size_t)]
    lib.quillor_transact.restype = ctypes.c_int32
    lib.quillor_free.argtypes = [ctypes.c_void_p]
    if lib.quillor_api_version() < API_VERSION:
        raise OSError("%s implements version %d of the C interface; this module needs %d"
                      % (path, lib.quillor_api_version(), API_VERSION))
    return lib


class Reply:
    """A call's outcome: status is the component's (0 for success, negative for a
    failure the host should see); text is the reply, or None when none came; items
    is a list of Item, one per line of an ADD (or one for a call that answered none);
    facts, the call's Facts."""

    def __init__(self, status, text, items=None, facts=None):
        self.status = status
        self.text = text
        self.items = items if items is not None else []
        self.facts = facts

    def __repr__(self):
        return "Reply(status=%d, text=%r, items=%r, facts=%r)" % (
            self.status, self.text, self.items, self.facts)


def _text(value):
    return value.decode("utf-8") if value is not None else None


class Call:
    """Options of one call: request_bound in bytes (None: the connection text's or
    the default), trace, a function that receives each statement's trace line (a
    JSON text), read, a function told the call's Facts once the request's root is
    read (before the connection opens), and stop(), which may be called from
    another thread."""

    def __init__(self, material, request_bound=None, trace=None, read=None):
        self._lib = material._lib
        self._handle = ctypes.c_void_p(self._lib.quillor_call_create())
        if not self._handle:
            raise MemoryError("quillor_call_create")
        if request_bound:
            self._lib.quillor_call_set_request_bound(self._handle, int(request_bound))
        self._trace = None  # kept alive while the library may call it
        if trace is not None:
            def receive(_state, line, length):
                try:
                    trace(ctypes.string_at(line, length).decode("utf-8"))
                except Exception:  # the trace never stands in the way of the call
                    pass
            self._trace = _TRACE_FN(receive)
            self._lib.quillor_call_set_trace_receiver(self._handle, self._trace, None)
        self._read = None  # kept alive while the library may call it
        if read is not None:
            def told(_state, facts):
                try:
                    read(_facts(facts.contents))
                except Exception:  # the function never stands in the way of the call
                    pass
            self._read = _FACTS_FN(told)
            self._lib.quillor_call_set_read_receiver(self._handle, self._read, None)
        self._items = None
        self._item_fn = _ITEM_FN(self._receive_item)
        self._lib.quillor_call_set_item_receiver(self._handle, self._item_fn, None)

    def _receive_item(self, _state, item):
        if self._items is not None:
            i = item.contents
            self._items.append(Item(_text(i.id), i.code, _text(i.message), _text(i.reason),
                                    _text(i.state)))

    def stop(self):
        self._lib.quillor_request_stop(self._handle)

    def close(self):
        if self._handle:
            self._lib.quillor_call_destroy(self._handle)
            self._handle = None

    def __del__(self):
        self.close()


class Material:
    """One object of a release: Material("8.71"), or Material(path=...)."""

    def __init__(self, release=None, path=None):
        if path is None:
            if release is None:
                raise ValueError("name a release or a library path")
            path = library_path(release)
        self._lib = _load(path)
        self.release = self._lib.quillor_release().decode()
        self._handle = ctypes.c_void_p(self._lib.quillor_create())
        if not self._handle:
            raise MemoryError("quillor_create")
        self._receiver = None  # kept alive while the library may call it

    def on_page(self, callback):
        """callback(text, number, count) receives each page of a paged QUERY; it may
        return a (number, count) pair that paging goes on with, and fails the call
        by raising. None stops the callback being called, but the object goes on paging
        (its pages dropped, the reply holding the last one): for every row in the
        reply use an object that never had a callback. Raises OSError where the
        release does not page (8.61, 8.50)."""
        if callback is None:
            receiver = _PAGE_FN()
        else:
            def receive(_state, page, length, number, count):
                try:
                    text = ctypes.string_at(page, length).decode("utf-8")
                    changed = callback(text, number[0], count[0])
                    if changed is not None:
                        number[0], count[0] = changed
                    return 0
                except Exception:  # the call fails; the library must not unwind through C
                    return 1
            receiver = _PAGE_FN(receive)
        status = self._lib.quillor_set_page_receiver(self._handle, receiver, None)
        if status != 0:
            raise OSError("quillor_set_page_receiver: status %d" % status)
        self._receiver = receiver if callback is not None else None

    def facts(self):
        """The Facts of the call running (asked from a page callback, page_rows are
        the rows of the page handed over) or of the last one."""
        facts = _Facts()
        facts.size = ctypes.sizeof(_Facts)
        status = self._lib.quillor_facts(self._handle, ctypes.byref(facts))
        if status != 0:
            raise OSError("quillor_facts: status %d" % status)
        return _facts(facts)

    def transact(self, request, connection, call=None):
        """Runs one request (text or bytes) on the connection text; returns a Reply."""
        if isinstance(request, str):
            request = request.encode("utf-8")
        if isinstance(connection, str):
            connection = connection.encode("utf-8")
        reply = ctypes.c_void_p()
        length = ctypes.c_size_t()
        own = call is None
        if own:
            call = Call(self)
        items = call._items = []
        try:
            status = self._lib.quillor_transact(
                self._handle, call._handle, request, len(request), connection, len(connection),
                ctypes.byref(reply), ctypes.byref(length))
        finally:
            call._items = None
            if own:
                call.close()
        text = None
        if reply.value:
            try:
                text = ctypes.string_at(reply.value, length.value).decode("utf-8")
            finally:
                self._lib.quillor_free(reply)
        return Reply(status, text, items, self.facts())

    def close(self):
        if self._handle:
            self._lib.quillor_destroy(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def __del__(self):
        self.close()

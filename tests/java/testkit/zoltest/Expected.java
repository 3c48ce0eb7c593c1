package zoltest;

/** The support library's output texts, for exact comparisons. */
public final class Expected {
    private Expected() {}

    public static final String FALSE = "#   verified JNI assertion is FALSE\n";

    /** A library image's first complaint, at base:line, whose message's first line is firstLine. */
    public static String firstComplaint(String base, int line, String firstLine, String message) {
        return "The following fake exception stacktrace is for failuire analysis. \n"
                + "zol.share.Fake_Exception_for_RULE_Creation: (" + base + ":" + line + ") " + firstLine
                + "\tat zol_lvcomplain(zol_tools.cpp:172)\n"
                + complaint(base, line, message);
    }

    /** The first complaint of a one-line message. */
    public static String firstComplaint(String base, int line, String message) {
        return firstComplaint(base, line, message, message);
    }

    public static String complaint(String base, int line, String message) {
        return "# ERROR: " + base + ", " + line + ": " + message;
    }

    /** A failed lookup of a verified step: expression, FALSE, then the cleared exception. */
    public static String failedLookup(String base, int line, String text) {
        return firstComplaint(base, line, text + "\n") + FALSE
                + complaint(base, line, "Exception in JNI call (cleared):\n");
    }

    /** A verified void call that threw: the cleared exception, then the expression. */
    public static String failedVoidCall(String base, int line, String text) {
        return firstComplaint(base, line, "Exception in JNI call (cleared):\n") + complaint(base, line, text + "\n");
    }
}

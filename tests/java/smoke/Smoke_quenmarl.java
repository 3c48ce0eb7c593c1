import zol.stress.jni.JNIter005;

public class Smoke_quenmarl implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.stress.jni.JNIter005";
    }

    public String scenario() {
        return "first exception of the table";
    }

    public void run() {
        try {
            new JNIter005().except(new IllegalStateException("given"));
        } catch (ArrayIndexOutOfBoundsException e) {
            if (e.getMessage().equals("java/lang/ArrayIndexOutOfBoundsException")) {
                return;
            }
            throw new AssertionError("message " + e.getMessage());
        }
        throw new AssertionError("no ArrayIndexOutOfBoundsException");
    }
}
